# Captures tests/capture/session.replay through velmor-replay --capture and
# checks both halves of the round trip: the capture is exactly the golden
# session capture_replayed.replay (which the golden tests run), and the
# captured session printed that golden session's transcript.
set(capture ${CMAKE_CURRENT_BINARY_DIR}/capture_replayed.actual.replay)
execute_process(COMMAND ${REPLAY} --capture ${capture} ${SESSION}
  OUTPUT_VARIABLE transcript RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "velmor-replay exited with ${rc}: ${err}")
endif()
file(READ ${GOLDEN}.replay wanted_capture)
file(READ ${capture} actual_capture)
if(NOT actual_capture STREQUAL wanted_capture)
  execute_process(COMMAND diff -u ${GOLDEN}.replay ${capture})
  message(FATAL_ERROR "the capture differs from ${GOLDEN}.replay")
endif()
file(READ ${GOLDEN}.expected wanted_transcript)
if(NOT transcript STREQUAL wanted_transcript)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/capture_session.actual "${transcript}")
  execute_process(COMMAND diff -u ${GOLDEN}.expected ${CMAKE_CURRENT_BINARY_DIR}/capture_session.actual)
  message(FATAL_ERROR "the captured session's transcript differs from its capture's")
endif()
