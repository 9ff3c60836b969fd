#include "sim/sim_options.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>

#include "link/serial/line_protocol.h"

namespace b6409::sim {

namespace {

// Whole-text unsigned number in the given base, bounded; no signs, no blanks.
bool ParseNumber(const std::string& text, int base, unsigned long max, unsigned long* value) {
    if (text.empty() || text.size() > 10) return false;
    unsigned long result = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        const unsigned digit =
            std::isdigit(static_cast<unsigned char>(c))
                ? unsigned(c - '0')
                : unsigned(std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
        if (digit >= unsigned(base)) return false;
        result = result * base + digit;
    }
    if (result > max) return false;
    *value = result;
    return true;
}

// "X.YY" in hexadecimal, as the utility shows it: v1.05 is major 1, minor 0x05.
bool ParseFirmware(const std::string& text, SimOptions* options) {
    const size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot > 2 || text.size() - dot - 1 != 2) return false;
    unsigned long major = 0, minor = 0;
    if (!ParseNumber(text.substr(0, dot), 16, 0xFF, &major) ||
        !ParseNumber(text.substr(dot + 1), 16, 0xFF, &minor))
        return false;
    options->fwMajor = static_cast<uint8_t>(major);
    options->fwMinor = static_cast<uint8_t>(minor);
    return true;
}

// "N" or "N:CODE", both decimal.
bool ParseErrorAt(const std::string& text, FaultPlan* faults) {
    const size_t colon = text.find(':');
    unsigned long request = 0, code = faults->errorCode;
    if (!ParseNumber(text.substr(0, colon), 10, 0x7FFFFFFF, &request) || request == 0) return false;
    if (colon != std::string::npos && !ParseNumber(text.substr(colon + 1), 10, 0xFF, &code))
        return false;
    faults->errorAtRequest = static_cast<int>(request);
    faults->errorCode = static_cast<uint8_t>(code);
    return true;
}

// "N:MS", both decimal, N from 1.
bool ParsePauseBefore(const std::string& text, FaultPlan* faults) {
    const size_t colon = text.find(':');
    unsigned long frame = 0, ms = 0;
    if (colon == std::string::npos || !ParseNumber(text.substr(0, colon), 10, 0x7FFFFFFF, &frame) ||
        frame == 0 || !ParseNumber(text.substr(colon + 1), 10, 600000, &ms))
        return false;
    faults->pauseBeforeFrame = static_cast<int>(frame);
    faults->pauseBeforeFrameMs = static_cast<unsigned>(ms);
    return true;
}

// The bytes of a reply text with C-style escapes: \r, \n, \t, \\ and \xHH (two digits).
bool ParseReplyText(const std::string& text, std::string* bytes) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            result += text[i];
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
            case 'r':
                result += '\r';
                break;
            case 'n':
                result += '\n';
                break;
            case 't':
                result += '\t';
                break;
            case '\\':
                result += '\\';
                break;
            case 'x': {
                const std::string digits = text.substr(i + 1, 2);
                unsigned long value = 0;
                if (digits.size() != 2 || !ParseNumber(digits, 16, 0xFF, &value)) return false;
                result += static_cast<char>(value);
                i += 2;
                break;
            }
            default:
                return false;
        }
    }
    if (result.empty()) return false;
    *bytes = result;
    return true;
}

}  // namespace

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options,
                     std::string* error) {
    using Setter = std::function<bool(const std::string&)>;
    std::string why;  // what a setter found wrong, when it can tell
    const std::map<std::string, Setter> withValue = {
        {"--converter",
         [&](const std::string& v) {
             static const std::map<std::string, ConverterKind> kinds = {
                 {"scv1", ConverterKind::Scv1},
                 {"ucv1", ConverterKind::Ucv1},
                 {"ecv1d", ConverterKind::Ecv1d}};
             const auto found = kinds.find(v);
             if (found == kinds.end()) return false;
             options->converter.kind = found->second;
             return true;
         }},
        {"--baud",
         [&](const std::string& v) {
             unsigned long baud = 0;
             if (!ParseNumber(v, 10, 0xFFFFFFFF, &baud) ||
                 std::find(kScv1BaudRates.begin(), kScv1BaudRates.end(), baud) ==
                     kScv1BaudRates.end())
                 return false;
             options->converter.scv1Baud = static_cast<uint32_t>(baud);
             return true;
         }},
        {"--fw", [&](const std::string& v) { return ParseFirmware(v, options); }},
        {"--error-at", [&](const std::string& v) { return ParseErrorAt(v, &options->faults); }},
        {"--entry-pause",
         [&](const std::string& v) {
             unsigned long ms = 0;
             if (!ParseNumber(v, 10, 600000, &ms)) return false;
             options->faults.entryPauseMs = static_cast<unsigned>(ms);
             return true;
         }},
        {"--reply-text",
         [&](const std::string& v) { return ParseReplyText(v, &options->faults.replyText); }},
        {"--dlc-digit",
         [&](const std::string& v) {
             // One hexadecimal digit announcing more than 8 bytes.
             if (v.size() != 1 || !std::isxdigit(static_cast<unsigned char>(v[0])) ||
                 HexDigitValue(v[0]) <= 8)
                 return false;
             options->faults.replyDlcDigit = v[0];
             return true;
         }},
        {"--pause-before",
         [&](const std::string& v) { return ParsePauseBefore(v, &options->faults); }},
        {"--link",
         [&](const std::string& v) {
             options->linkPath = v;
             return !v.empty();
         }},
        {"--listen",
         [&](const std::string& v) {
             const auto address = ParseHostPort(v, &why);
             if (address) options->listenAddress = address;
             return address.has_value();
         }},
        {"--hang-up-at",
         [&](const std::string& v) {
             unsigned long n = 0;
             if (!ParseNumber(v, 10, 1000000, &n) || n == 0) return false;
             options->faults.hangUpAtRequest = static_cast<int>(n);
             return true;
         }},
        {"--can",
         [&](const std::string& v) {
             options->canInterface = v;
             return !v.empty() && v.size() < 16;  // IFNAMSIZ, terminator included
         }},
    };
    const std::map<std::string, bool*> flags = {
        {"--silent", &options->faults.silent},
        {"--non-frame", &options->faults.nonFrameReply},
        {"--lower-case", &options->faults.lowerCaseDigits},
        {"--other-node-first", &options->faults.otherNodeFirst},
        {"--trace", &options->trace},
        {"--help", &options->help},
    };

    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        if (const auto flag = flags.find(name); flag != flags.end() && !inlineValue) {
            *flag->second = true;
            continue;
        }
        const auto setter = withValue.find(name);
        if (setter == withValue.end()) {
            *error = "unknown option '" + args[i] + "'";
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                *error = "option " + name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (!setter->second(value)) {
            *error = "bad value '" + value + "' for " + name + (why.empty() ? "" : ": " + why);
            return false;
        }
    }
    if (!options->canInterface.empty() && !options->linkPath.empty()) {
        *error = "--link applies to a terminal, not to --can";
        return false;
    }
    if (options->listenAddress && !(options->canInterface.empty() && options->linkPath.empty())) {
        *error = "--listen serves over TCP; --link and --can do not go with it";
        return false;
    }
    if (options->faults.hangUpAtRequest && !options->listenAddress) {
        *error = "--hang-up-at applies to --listen";
        return false;
    }
    return true;
}

std::string SimUsage() {
    return "Usage: b6409-sim [OPTIONS]\n"
           "Plays a serial CAN converter on a pseudo-terminal with a B-6409 module behind it,\n"
           "prints the terminal's path on the first line and serves until interrupted.\n"
           "\n"
           "  --converter scv1|ucv1|ecv1d  converter to play (default scv1)\n"
           "  --baud N                     the SCV-1's serial rate (default 115200; one of\n"
           "                               115200 9600 57600 38400 19200 4800 1200 2400)\n"
           "  --fw X.YY                    firmware version in hexadecimal (default 1.05)\n"
           "  --silent                     never answer\n"
           "  --error-at N[:CODE]          answer the N-th request with error CODE (default 1)\n"
           "  --entry-pause MS             pause before each frame of a list read\n"
           "  --non-frame                  answer requests with a line that is not a frame\n"
           "  --lower-case                 write reply lines with lower-case digits\n"
           "  --other-node-first           put another node's frame before each reply\n"
           "  --reply-text TEXT            answer each request with exactly TEXT instead of\n"
           "                               its frames; escapes \\r \\n \\t \\\\ \\xHH (end it\n"
           "                               with \\r to make it a line)\n"
           "  --dlc-digit D                reply lines of 8 data bytes announce DLC digit D\n"
           "                               (9-F) and carry that many data bytes: the frame's\n"
           "                               eight, then EE filler\n"
           "  --pause-before N:MS          pause MS before the N-th frame the module sends\n"
           "                               (counted from 1 over its life; each entry frame\n"
           "                               of a list read counts)\n"
           "  --trace                      after the path, print each request the module\n"
           "                               receives as its frame text, one line each\n"
           "  --link PATH                  make PATH a symlink to the terminal while running\n"
           "  --can IFNAME                 serve the module on a CAN interface (e.g. vcan0)\n"
           "                               instead of a terminal; prints IFNAME first\n"
           "  --listen HOST:PORT           serve the converter over TCP instead of a terminal,\n"
           "                               one client at a time (port 0: any free port);\n"
           "                               prints tcp://HOST:PORT with the port it got\n"
           "  --hang-up-at N               with --listen: close the connection on the N-th\n"
           "                               request, unanswered\n"
           "  --help                       show this text\n";
}

}  // namespace b6409::sim
