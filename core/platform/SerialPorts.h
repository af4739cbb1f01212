#pragma once
// The serial devices this machine has, for the serial-port dialog's device
// list. Linux: the stable /dev/serial/by-id names first, then USB adapters
// and the built-in ports that have a UART behind them. Elsewhere, or when
// nothing can be read, the list is empty; the user can still type a path.

#include <string>
#include <vector>

namespace velmor {

struct CSerialPortInfo {
    std::string m_strPath;         // what to open, e.g. /dev/serial/by-id/usb-...
    std::string m_strDescription;  // for people, e.g. "FTDI FT232R USB UART (A10K1ABC)"; may be empty
};

std::vector<CSerialPortInfo> EnumerateSerialPorts();

// A readable adapter description from a /dev/serial/by-id name:
// "usb-FTDI_FT232R_USB_UART_A10K1ABC-if00-port0" -> "FTDI FT232R USB UART (A10K1ABC)".
// Empty when the name does not have that shape.
std::string DescribeSerialById(const std::string& name);

}  // namespace velmor
