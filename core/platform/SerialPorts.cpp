#include "platform/SerialPorts.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace velmor {

namespace fs = std::filesystem;

std::string DescribeSerialById(const std::string& name)
{
    // bus-VENDOR_PRODUCT_SERIAL-ifNN[-portN]: the bus prefix and the
    // interface suffix say nothing a person needs.
    const std::size_t dash = name.find('-');
    if (dash == std::string::npos || dash == 0) return {};
    std::string body = name.substr(dash + 1);
    const std::size_t suffix = body.rfind("-if");
    if (suffix != std::string::npos) body.resize(suffix);
    if (body.empty()) return {};
    // The serial number is the last underscore-separated word when there are
    // several and it looks like one (letters and digits only); adapters
    // without a serial number end in a product word such as "USB2.0-Serial".
    std::size_t last = body.rfind('_');
    if (last != std::string::npos &&
        !std::all_of(body.begin() + static_cast<std::ptrdiff_t>(last) + 1, body.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }))
        last = std::string::npos;
    std::string model = last == std::string::npos ? body : body.substr(0, last);
    const std::string serial = last == std::string::npos ? std::string() : body.substr(last + 1);
    std::replace(model.begin(), model.end(), '_', ' ');
    if (model.empty()) return serial;
    return serial.empty() ? model : model + " (" + serial + ")";
}

namespace {

std::vector<std::string> Sorted(const fs::path& dir, const std::string& prefix)
{
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A ttyS node exists for every possible built-in port; only those whose
// UART type is non-zero have hardware behind them.
bool HasUart(const std::string& name)
{
    std::ifstream in("/sys/class/tty/" + name + "/type");
    int type = 0;
    return in && (in >> type) && type != 0;
}

}  // namespace

std::vector<CSerialPortInfo> EnumerateSerialPorts()
{
    std::vector<CSerialPortInfo> ports;
    for (const std::string& name : Sorted("/dev/serial/by-id", ""))
        ports.push_back({"/dev/serial/by-id/" + name, DescribeSerialById(name)});
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (const std::string& name : Sorted("/dev", prefix)) ports.push_back({"/dev/" + name, {}});
    for (const std::string& name : Sorted("/dev", "ttyS"))
        if (HasUart(name)) ports.push_back({"/dev/" + name, {}});
    return ports;
}

}  // namespace velmor
