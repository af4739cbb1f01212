// A string handed to popen is a shell pipeline too.
const char* kCommand = "velmor-history --help | grep -q Usage";
const char* kFine = "velmor-history --help 2>&1";
