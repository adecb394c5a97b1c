// Parsing the headless logger's command line.
#include "logger/logger_options.h"

#include "acquisition/meter_profile.h"
#include "measure/meter_settings.h"
#include "measure/meter_settings_store.h"
#include "publish/metrics_endpoint.h"
#include "publish/server_url.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace velmora {

namespace {

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// What a user may call a function, and the meter's own name for it.
std::optional<std::string> FunctionName(const std::string& text) {
    static const std::pair<const char*, const char*> kAliases[] = {
        {"DCV", "VOLT"},       {"ACV", "VOLT:AC"}, {"DCI", "CURR"},        {"ACI", "CURR:AC"},
        {"OHM", "RES"},        {"OHM2", "RES"},    {"OHM4", "FRES"},       {"DIODE", "DIOD"},
        {"FREQUENCY", "FREQ"}, {"PERIOD", "PER"},  {"CONTINUITY", "CONT"},
    };
    const std::string upper = Upper(text);
    if (CapabilitiesOf(upper)) {
        return upper;
    }
    for (const auto& [alias, name] : kAliases) {
        if (upper == alias) {
            return std::string(name);
        }
    }
    return std::nullopt;
}

std::optional<double> Number(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// "a,b,c" -> {"a", "b", "c"}; empty parts kept.
std::vector<std::string> Parts(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) {
            return parts;
        }
        start = comma + 1;
    }
}

std::optional<std::string> ParseMathOption(const std::string& name, const std::string& v,
                                           LoggerOptions& o) {
    MathSettings& m = o.commandLineMath ? *o.commandLineMath : o.commandLineMath.emplace();
    const std::vector<std::string> parts = Parts(v);
    const auto number = [&](size_t i) -> std::optional<double> {
        return i < parts.size() ? Number(parts[i]) : std::nullopt;
    };
    const auto conversion = [&](MathConversion kind) -> std::optional<std::string> {
        if (m.conversion != MathConversion::None && m.conversion != kind) {
            return name + ": one conversion at a time (--scale, --db, --dbm, --rtd, "
                          "--thermocouple)";
        }
        m.conversion = kind;
        return std::nullopt;
    };
    if (name == "--null") {
        if (!number(0) || parts.size() != 1) {
            return "--null takes the offset, a number, not " + v;
        }
        m.nullOn = true;
        m.nullOffset = *number(0);
        return std::nullopt;
    }
    if (name == "--scale") {
        if (!number(0) || parts.size() > 3 ||
            (parts.size() > 1 && !parts[1].empty() && !number(1))) {
            return "--scale takes M[,B[,UNIT]], not " + v;
        }
        m.scale = *number(0);
        m.offset = parts.size() > 1 && !parts[1].empty() ? *number(1) : 0.0;
        m.scaleUnit = parts.size() > 2 ? parts[2] : std::string();
        return conversion(MathConversion::Scale);
    }
    if (name == "--db" || name == "--dbm") {
        if (!number(0) || parts.size() != 1 || *number(0) <= 0) {
            return name + " takes a reference above 0, not " + v;
        }
        (name == "--db" ? m.dbReference : m.dbmImpedance) = *number(0);
        return conversion(name == "--db" ? MathConversion::Db : MathConversion::Dbm);
    }
    if (name == "--rtd") {
        if (!number(0) || parts.size() != 1 || *number(0) <= 0) {
            return "--rtd takes R0 in ohms (100, 500, 1000), not " + v;
        }
        m.rtd.r0 = *number(0);
        return conversion(MathConversion::Rtd);
    }
    if (name == "--thermocouple") {
        const std::optional<ThermocoupleType> type =
            parts.empty() ? std::nullopt : ThermocoupleNamed(parts[0]);
        if (!type || parts.size() > 2 || (parts.size() == 2 && !number(1))) {
            return "--thermocouple takes K, J or T and the cold junction in °C (K,22), not " + v;
        }
        m.thermocouple = *type;
        m.coldJunctionCelsius = parts.size() == 2 ? *number(1) : 0.0;
        return conversion(MathConversion::Thermocouple);
    }
    // --limits LOW,HIGH, either may be left out.
    if (parts.size() != 2 || (!parts[0].empty() && !number(0)) ||
        (!parts[1].empty() && !number(1)) || (parts[0].empty() && parts[1].empty())) {
        return "--limits takes LOW,HIGH (either may be empty), not " + v;
    }
    m.limitsOn = true;
    m.limitLow = parts[0].empty() ? std::nullopt : number(0);
    m.limitHigh = parts[1].empty() ? std::nullopt : number(1);
    if (m.limitLow && m.limitHigh && *m.limitLow > *m.limitHigh) {
        return "--limits: LOW is above HIGH in " + v;
    }
    return std::nullopt;
}

} // namespace

// --mqtt, --influx, --metrics and the rest of publishing; why not, or nothing.
std::optional<std::string> ParsePublishOption(const std::string& name, const std::string& v,
                                              LoggerOptions& o);

ParsedLoggerOptions ParseLoggerOptions(const std::vector<std::string>& arguments) {
    ParsedLoggerOptions parsed;
    LoggerOptions& o = parsed.options;
    const auto fail = [&](std::string why) {
        parsed.error = std::move(why);
        return parsed;
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (const size_t eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (name == "--list") {
            o.list = true;
            continue;
        }
        if (name == "--fast") {
            o.fast = true;
            o.given.insert(name);
            continue;
        }
        if (name == "--control") {
            o.control = true;
            continue;
        }
        if (name == "--allow-meter-commands") {
            o.allowMeterCommands = true;
            continue;
        }
        static const char* const kWithValue[] = {"--port",
                                                 "--baud",
                                                 "--function",
                                                 "--nplc",
                                                 "--count",
                                                 "--duration",
                                                 "--interval",
                                                 "--output",
                                                 "--device-folder",
                                                 "--settings",
                                                 "--samples",
                                                 "--reply-timeout",
                                                 "--profile",
                                                 "--control-tcp",
                                                 "--control-address",
                                                 "--record-folder",
                                                 "--null",
                                                 "--scale",
                                                 "--db",
                                                 "--dbm",
                                                 "--rtd",
                                                 "--thermocouple",
                                                 "--limits",
                                                 "--mqtt",
                                                 "--mqtt-password-file",
                                                 "--mqtt-ca",
                                                 "--mqtt-topic",
                                                 "--mqtt-qos",
                                                 "--influx",
                                                 "--influx-password-file",
                                                 "--influx-measurement",
                                                 "--metrics",
                                                 "--spool-folder",
                                                 "--spool-limit"};
        if (std::find_if(std::begin(kWithValue), std::end(kWithValue),
                         [&](const char* w) { return name == w; }) == std::end(kWithValue)) {
            return fail("unknown option " + name);
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                return fail(name + " needs a value");
            }
            value = arguments[++i];
        }
        const std::string& v = *value;
        o.given.insert(name);
        if (name == "--port") {
            o.port = v;
        } else if (name == "--output") {
            o.output = v;
        } else if (name == "--device-folder") {
            o.deviceFolder = v;
        } else if (name == "--profile") {
            o.profile = v; // looked up once the profile folders are read
        } else if (name == "--settings") {
            o.settingsFile = v;
        } else if (name == "--null" || name == "--scale" || name == "--db" || name == "--dbm" ||
                   name == "--rtd" || name == "--thermocouple" || name == "--limits") {
            if (std::optional<std::string> why = ParseMathOption(name, v, o)) {
                return fail(*why);
            }
        } else if (name.starts_with("--mqtt") || name.starts_with("--influx") ||
                   name == "--metrics" || name.starts_with("--spool")) {
            if (std::optional<std::string> why = ParsePublishOption(name, v, o)) {
                return fail(*why);
            }
        } else if (name == "--control-tcp") {
            const std::optional<uint16_t> port = ParseWholeNumber<uint16_t>(v);
            if (!port) {
                return fail("--control-tcp takes a port, 0 to 65535, not " + v);
            }
            o.controlTcpPort = port;
        } else if (name == "--control-address") {
            o.controlAddress = v;
        } else if (name == "--record-folder") {
            o.recordFolder = v;
        } else if (name == "--samples") {
            const std::optional<int> samples = ParseWholeNumber<int>(v);
            if (!samples || *samples < 1 || *samples > kMostSamples) {
                return fail("--samples takes 1 to " + std::to_string(kMostSamples) +
                            " readings a query, not " + v);
            }
            o.samples = *samples;
        } else if (name == "--function") {
            const auto function = FunctionName(v);
            if (!function) {
                return fail("unknown function " + v);
            }
            o.function = *function;
        } else if (name == "--baud") {
            const std::optional<uint32_t> baud = ParseWholeNumber<uint32_t>(v);
            if (!baud || *baud == 0) {
                return fail("--baud takes a rate such as 9600, not " + v);
            }
            o.baud = *baud;
        } else if (name == "--count") {
            const std::optional<uint64_t> count = ParseWholeNumber<uint64_t>(v);
            if (!count || *count == 0) {
                return fail("--count takes a number of readings above 0, not " + v);
            }
            o.count = *count;
        } else {
            const std::optional<double> number = Number(v);
            if (!number || *number < 0) {
                return fail(name + " takes a number of 0 or more, not " + v);
            }
            if (name == "--nplc") {
                const double choices[] = {0.02, 0.2, 1, 10, 100};
                if (std::find(std::begin(choices), std::end(choices), *number) ==
                    std::end(choices)) {
                    return fail("--nplc takes 0.02, 0.2, 1, 10 or 100, not " + v);
                }
                o.nplc = number;
            } else if (name == "--duration") {
                o.duration = number;
            } else if (name == "--reply-timeout") {
                if (*number <= 0 || *number > 86400) {
                    return fail("--reply-timeout takes seconds above 0, up to a day, not " + v);
                }
                o.replyTimeout = number;
            } else {
                o.interval = *number;
            }
        }
    }
    if (o.allowMeterCommands && !o.control && !o.controlTcpPort) {
        return fail("--allow-meter-commands goes with --control or --control-tcp");
    }
    if (o.given.contains("--control-address") && !o.controlTcpPort) {
        return fail("--control-address goes with --control-tcp");
    }
    if (o.commandLineMath && o.function.empty()) {
        return fail("--null, --scale, --db, --dbm, --rtd, --thermocouple and --limits need a "
                    "--function");
    }
    if (o.nplc && (o.function.empty() || CapabilitiesOf(o.function)->nplc.empty())) {
        return fail("--nplc needs a --function that integrates (VOLT, CURR, RES, FRES)");
    }
    return parsed;
}

std::optional<std::string> ParsePublishOption(const std::string& name, const std::string& v,
                                              LoggerOptions& o) {
    PublishConfig& p = o.publish;
    std::string why;
    if (name == "--mqtt") {
        // Checked here: a URL holding a password is refused before anything starts.
        if (!ParseServerUrl(v, kMqttSchemes, &why)) {
            return "--mqtt: " + why;
        }
        p.mqttUrl = v;
    } else if (name == "--influx") {
        if (!ParseServerUrl(v, kInfluxSchemes, &why)) {
            return "--influx: " + why;
        }
        p.influxUrl = v;
    } else if (name == "--mqtt-password-file") {
        p.mqttPasswordFile = v;
    } else if (name == "--mqtt-ca") {
        p.mqttCaFile = v;
    } else if (name == "--mqtt-topic") {
        p.mqttTopic = v;
    } else if (name == "--mqtt-qos") {
        const std::optional<int> qos = ParseWholeNumber<int>(v);
        if (!qos || *qos > 2) {
            return "--mqtt-qos takes 0, 1 or 2, not " + v;
        }
        p.mqttQos = *qos;
    } else if (name == "--influx-password-file") {
        p.influxPasswordFile = v;
    } else if (name == "--influx-measurement") {
        p.influxMeasurement = v;
    } else if (name == "--metrics") {
        if (!ParseMetricsAddress(v, &why)) {
            return "--metrics: " + why;
        }
        p.metrics = v;
    } else if (name == "--spool-folder") {
        o.spoolFolder = v;
    } else if (name == "--spool-limit") {
        const std::optional<int> mib = ParseWholeNumber<int>(v);
        if (!mib || *mib < 1) {
            return "--spool-limit takes mebibytes above 0, not " + v;
        }
        p.spoolLimitMiB = *mib;
    }
    return std::nullopt;
}

std::string LoggerUsage() {
    return "Usage: velmora-log [OPTION]...\n"
           "Logs readings of an SCPI multimeter on a serial port or the network, one CSV row\n"
           "each.\n"
           "\n"
           "  --port NAME        com1 (/dev/ttyS0), ttyUSB0, a device path (default com1),\n"
           "                     a meter on the network: TCPIP::HOST::5025::SOCKET or\n"
           "                     HOST:5025 (HOST an address, [IPv6 address] or a name), or\n"
           "                     a GPIB meter behind a \"++\" adapter: GPIB::22@/dev/ttyUSB0\n"
           "                     or GPIB::22@HOST:1234\n"
           "  --profile NAME     the meter's command set: \"34401A class\" (serial default),\n"
           "                     \"34401A class (GPIB)\", \"3446x/3447x class\" or one of\n"
           "                     ~/.config/velmora/profiles/*.profile; on the network and\n"
           "                     GPIB the meter's *IDN? answer chooses without it\n"
           "  --list             print the serial ports present, one a line, and exit\n"
           "  --baud RATE        the line's rate (default 9600)\n"
           "  --function NAME    VOLT, VOLT:AC, CURR, CURR:AC, RES, FRES, FREQ, PER, DIOD, CONT\n"
           "                     (or dcv, acv, dci, aci, ohm2, ohm4, diode ...); default: as it "
           "is\n"
           "  --nplc N           integration time: 0.02, 0.2, 1, 10 or 100 power-line cycles\n"
           "  --fast             end replies at their line end and ask again at once\n"
           "  --samples N        readings a query, 1 to 50 (a burst above 1; default 1)\n"
           "  --count N          stop after N readings (a burst is kept whole)\n"
           "  --duration SECONDS stop after this long\n"
           "  --interval SECONDS between readings (default 0: as fast as the mode allows)\n"
           "  --reply-timeout SECONDS\n"
           "                     give up on a silent meter after this long (default 10 s\n"
           "                     and the longest the query can take with its settings)\n"
           "  --output FILE      add the rows to FILE (never truncated); default or -: stdout\n"
           "  --settings FILE    the port, rate, meter settings and alarms of a settings file\n"
           "                     (velmora.ini); the options above come first\n"
           "  --device-folder D  where port names are looked up (default /dev)\n"
           "  --control          serve scripts on a private socket:\n"
           "                     $XDG_RUNTIME_DIR/velmora/PORT.sock (or /tmp/velmora-UID/)\n"
           "  --control-tcp PORT the same on TCP, 127.0.0.1 only; clients send\n"
           "                     AUTH \"token\" first, the token is in PORT.token beside it\n"
           "  --control-address A listen on A instead of 127.0.0.1 (other hosts can reach it)\n"
           "  --allow-meter-commands\n"
           "                     let clients send lines to the meter (METER, METER?)\n"
           "  --record-folder D  where REC:STAT ON records (default: the output's folder)\n"
           "  --null OFFSET      math on --function: subtract OFFSET from each reading\n"
           "  --scale M[,B[,UNIT]] M x + B, in UNIT (e.g. --scale 1000,0,mA)\n"
           "  --db REF, --dbm Z  dB against REF, dBm against Z ohms (50, 75, 600 ...)\n"
           "  --rtd R0           degrees of an RTD (IEC 60751, Pt100: --rtd 100)\n"
           "  --thermocouple T[,CJ] degrees of a type K, J or T thermocouple, the cold\n"
           "                     junction at CJ °C (default 0)\n"
           "  --limits LOW,HIGH  a limit test (pass, low, high) on the derived value\n"
           "  --mqtt URL         publish each reading to an MQTT broker: mqtt://HOST[:1883]\n"
           "                     or mqtts://HOST[:8883] (TLS); JSON on velmora/METER/reading,\n"
           "                     events on .../event, a retained online/offline on .../status\n"
           "  --mqtt-password-file FILE\n"
           "                     the broker's user name (first line) and password (second)\n"
           "  --mqtt-ca FILE     the CA certificate for mqtts://\n"
           "  --mqtt-topic T     the readings' topic (default velmora/<meter>/reading)\n"
           "  --mqtt-qos N       0, 1 or 2 (default 1)\n"
           "  --influx URL       write each reading to InfluxDB 1.x: http://HOST:8086/DATABASE\n"
           "  --influx-password-file FILE\n"
           "                     the database's user name (first line) and password (second)\n"
           "  --influx-measurement NAME (default velmora)\n"
           "  --metrics ADDR:PORT serve /metrics for Prometheus (address default 127.0.0.1)\n"
           "  --spool-folder D   where readings wait for the servers (default\n"
           "                     $XDG_STATE_HOME/velmora/spool/METER)\n"
           "  --spool-limit MB   the spool's bound; past it the oldest go (default 256)\n"
           "  --help             this text\n"
           "\n"
           "Columns: sequence,time,seconds,value,unit,status,event (as the desktop program\n"
           "records them). A lost port is waited for, and polling starts again when it is back.\n"
           "SIGINT or SIGTERM stop cleanly: the meter is sent back to local mode and the file\n"
           "synced. Exit status: 0 done, 1 bad options or settings file, 2 the port cannot be\n"
           "opened, 3 the meter does not answer, 4 the output cannot be written, 5 the\n"
           "control interface cannot be served, 6 publishing cannot start (the spool in\n"
           "use by another run for the same meter, the metrics port taken).\n";
}

} // namespace velmora
