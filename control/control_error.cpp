// Error entries.
#include "control/control_error.h"

namespace velmora {

namespace {

const char* StandardText(int code) {
    switch (code) {
    case 0:
        return "No error";
    case -108:
        return "Parameter not allowed";
    case -109:
        return "Missing parameter";
    case -113:
        return "Undefined header";
    case -151:
        return "Invalid string data";
    case -203:
        return "Command protected";
    case -221:
        return "Settings conflict";
    case -222:
        return "Data out of range";
    case -223:
        return "Too much data";
    case -224:
        return "Illegal parameter value";
    case -240:
        return "Hardware error";
    case -250:
        return "Mass storage error";
    case -350:
        return "Queue overflow";
    default:
        return "Error";
    }
}

} // namespace

std::string ErrorEntry(const ControlError& error) {
    std::string text = error.code == 0 ? "+0" : std::to_string(error.code);
    text += ",\"";
    text += StandardText(error.code);
    if (!error.detail.empty()) {
        text += ";";
        // The entry is one quoted string: a quote inside is doubled.
        for (const char c : error.detail) {
            text += c;
            if (c == '"') {
                text += '"';
            }
        }
    }
    return text + "\"";
}

} // namespace velmora
