// velmora-meter: plays a bench multimeter on a pseudo-terminal until interrupted.
#include "tools/meter/meter_emulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: velmora-meter [options]\n"
    "Plays a bench multimeter on a pseudo-terminal and prints the port's path\n"
    "(first line of output). Answers Func?, Read? and Meas:...? lines ended by CR LF.\n"
    "  --link PATH        also offer the port as a symbolic link at PATH\n"
    "  --baud N           byte timing of the line (default 9600; 0 = no timing)\n"
    "  --measure-ms N     time to take a reading before answering (default 20)\n"
    "  --function NAME    starting function: VOLT VOLT:AC CURR CURR:AC RES FRES\n"
    "                     DIOD CONT FREQ PER (default VOLT)\n"
    "  --seed N           random seed of the readings (default 1)\n"
    "  --overload P       chance of an open-input overload, 0..1 (default 0.02)\n"
    "  --readings KIND    noise (default) or counter: 1, 2, 3 ... so that a reading\n"
    "                     lost, repeated or shifted shows\n"
    "  --query-interrupt on|off\n"
    "                     a command during an answer drops it and queues -410\n"
    "                     (default off)\n"
    "  --tcp PORT         on the network instead: listen on 127.0.0.1:PORT (0: any\n"
    "                     free port; the first line then says which), one\n"
    "                     connection at a time, no byte timing; lines end in LF\n"
    "  --persona NAME     34401a (RS-232, default), 34401a-gpib, 3446x (LAN), or\n"
    "                     3446x-as-34401a (LAN, says 34401A): each refuses the\n"
    "                     others' commands with -113 and answers *IDN? as itself\n"
    "  --gpib-adapter N   behind an emulated \"++\" GPIB adapter (on the pty or the\n"
    "                     TCP port), the meter at GPIB address N (0..30); use with\n"
    "                     --persona 34401a-gpib or 3446x\n"
    "  --stray-nul on|off the adapter puts a NUL before every answer (default off)\n"
    "  --script FILE      canned steps (answer, reply, split, garbage, overload,\n"
    "                     silence, pause, send, xoff, xon, hangup [reopen [MS]])\n";

[[noreturn]] void Usage(const std::string& problem) {
    std::cerr << "velmora-meter: " << problem << "\n" << kUsage;
    std::exit(2);
}

unsigned long Unsigned(const std::string& text, const std::string& option) {
    try {
        size_t used = 0;
        const unsigned long value = std::stoul(text, &used);
        if (used == text.size() && text.front() != '-')
            return value;
    } catch (const std::exception&) {
    }
    Usage(option + " needs a whole number");
}

velmora::MeterOptions ParseArguments(int argc, char** argv) {
    velmora::MeterOptions options;
    options.baud = 9600;
    options.measureTime = std::chrono::milliseconds(20);
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::cout << kUsage;
            std::exit(0);
        }
        if (i + 1 >= argc)
            Usage("unknown option or missing value: " + option);
        const std::string value = argv[++i];
        if (option == "--link") {
            options.linkPath = value;
        } else if (option == "--baud") {
            options.baud = static_cast<uint32_t>(Unsigned(value, option));
        } else if (option == "--measure-ms") {
            options.measureTime = std::chrono::milliseconds(Unsigned(value, option));
        } else if (option == "--function") {
            const auto function = velmora::FunctionFromName(value);
            if (!function)
                Usage("unknown function " + value);
            options.model.startFunction = *function;
        } else if (option == "--seed") {
            options.model.seed = static_cast<uint32_t>(Unsigned(value, option));
        } else if (option == "--overload") {
            char* end = nullptr;
            options.model.overloadChance = std::strtod(value.c_str(), &end);
            if (*end != '\0' || options.model.overloadChance < 0 ||
                options.model.overloadChance > 1)
                Usage("--overload needs a chance between 0 and 1");
        } else if (option == "--readings") {
            if (value != "noise" && value != "counter")
                Usage("--readings takes noise or counter");
            options.model.counter = value == "counter";
        } else if (option == "--query-interrupt") {
            if (value != "on" && value != "off")
                Usage("--query-interrupt takes on or off");
            options.interruptQueries = value == "on";
        } else if (option == "--tcp") {
            const unsigned long port = Unsigned(value, option);
            if (port > 65535)
                Usage("--tcp needs a port of 0 to 65535");
            options.tcpPort = static_cast<int>(port);
            options.baud = 0;
        } else if (option == "--persona") {
            using velmora::MeterPersona;
            if (value == "34401a")
                options.model.persona = MeterPersona::Rs232_34401A;
            else if (value == "34401a-gpib")
                options.model.persona = MeterPersona::Gpib34401A;
            else if (value == "3446x")
                options.model.persona = MeterPersona::Lan3446x;
            else if (value == "3446x-as-34401a")
                options.model.persona = MeterPersona::Lan34401A;
            else
                Usage("--persona takes 34401a, 34401a-gpib, 3446x or 3446x-as-34401a");
        } else if (option == "--gpib-adapter") {
            const unsigned long address = Unsigned(value, option);
            if (address > 30)
                Usage("--gpib-adapter needs a GPIB address of 0 to 30");
            options.gpibAdapterAddress = static_cast<int>(address);
        } else if (option == "--stray-nul") {
            if (value != "on" && value != "off")
                Usage("--stray-nul takes on or off");
            options.strayNuls = value == "on";
        } else if (option == "--script") {
            std::ifstream file(value);
            if (!file)
                Usage("cannot read " + value);
            std::ostringstream text;
            text << file.rdbuf();
            try {
                options.script = velmora::ParseScript(text.str());
            } catch (const std::invalid_argument& error) {
                Usage(value + ": " + error.what());
            }
        } else {
            Usage("unknown option " + option);
        }
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    velmora::MeterOptions options = ParseArguments(argc, argv);

    // Block the stop signals before any thread starts, then wait for one here.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    velmora::MeterEmulator meter(std::move(options));
    try {
        meter.Start();
    } catch (const std::exception& error) {
        std::cerr << "velmora-meter: " << error.what() << "\n";
        return 1;
    }
    std::cout << meter.SlavePath() << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    meter.Stop();
    return 0;
}
