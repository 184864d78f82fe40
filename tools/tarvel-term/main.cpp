// tarvel-term: a price-checker terminal on the command line. Sends each code as a scan to a Tarvel
// server and prints the screen that comes back, so a store's IT person can check a server without a
// device.

#include "terminal/TerminalScreen.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* kUsage = "usage: tarvel-term [--form ]C1|FF|byte] [--raw] [--timeout MS] HOST PORT [CODE...]\n"
                     "Sends each CODE (or each line of standard input when none is given) as a scan and prints the\n"
                     "reply screen, one line per scan: the code, \"->\", then each text of the screen with its name\n"
                     "(description, item code and barcode or the scan code, shelf, price), or the not-found screen.\n"
                     "\n"
                     "  --form ]C1     the scan as a scanner sends it with its symbology prefix: 0x02 \"]C1\" CODE CR\n"
                     "                 (the default)\n"
                     "  --form FF      \"FF\" CODE CR\n"
                     "  --form byte    0x02 CODE CR: one leading byte\n"
                     "                 (the server cuts the code after the prefix and drops its last byte, the CR)\n"
                     "  --raw          print the reply's bytes in hex instead of the screen\n"
                     "  --timeout MS   wait at most MS milliseconds to connect and for each reply (default 3000)\n"
                     "  --version      print the version\n"
                     "An option's value may follow it after \"=\": --form=FF.\n";

int Usage(const std::string& problem)
{
    std::fprintf(stderr, "tarvel-term: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    tarvel::ScanForm form = tarvel::ScanForm::C1;
    bool raw = false;
    int timeoutMs = 3000;
    std::vector<std::string> positional;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        // "--form=FF" is "--form FF".
        std::optional<std::string> inlineValue;
        if (const size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = arg.substr(equals + 1);
            arg.resize(equals);
            if (arg != "--form" && arg != "--timeout")
                return Usage(arg + " takes no value");
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::puts("tarvel-term " TARVEL_VERSION);
            return 0;
        } else if (arg == "--raw") {
            raw = true;
        } else if (arg == "--form" || arg == "--timeout") {
            if (!inlineValue && i + 1 >= argc)
                return Usage("missing value after " + arg);
            const std::string value = inlineValue ? *inlineValue : argv[++i];
            if (arg == "--form") {
                if (!tarvel::ParseScanForm(value, form))
                    return Usage("unknown form '" + value + "' (]C1, FF or byte)");
            } else {
                try {
                    timeoutMs = std::stoi(value);
                } catch (...) {
                    return Usage("bad timeout '" + value + "'");
                }
                if (timeoutMs <= 0)
                    return Usage("bad timeout '" + value + "'");
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return Usage("unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() < 2)
        return Usage("HOST and PORT are required");
    const std::string host = positional[0];
    int port = 0;
    try {
        port = std::stoi(positional[1]);
    } catch (...) {
    }
    if (port < 1 || port > 65535)
        return Usage("bad port '" + positional[1] + "'");

    std::vector<std::string> codes(positional.begin() + 2, positional.end());
    const bool fromStdin = codes.empty();

    QTcpSocket socket;
    socket.connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
    if (!socket.waitForConnected(timeoutMs)) {
        std::fprintf(stderr, "tarvel-term: cannot connect to %s:%d: %s\n", host.c_str(), port,
                     socket.errorString().toLocal8Bit().constData());
        return 1;
    }

    int missing = 0;
    auto scan = [&](const std::string& code) {
        socket.write(tarvel::ScanMessage(QByteArray::fromStdString(code), form));
        socket.flush();
        QByteArray reply;
        QElapsedTimer clock;
        clock.start();
        while (!tarvel::IsCompleteFrame(reply)) {
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0 || !socket.waitForReadyRead(static_cast<int>(left)))
                break;
            reply += socket.readAll();
        }
        if (!tarvel::IsCompleteFrame(reply)) {
            ++missing;
            std::printf("%s -> (no reply within %d ms)%s\n", code.c_str(), timeoutMs,
                        reply.isEmpty() ? "" : (" partial: " + reply.toHex(' ').toStdString()).c_str());
        } else if (raw) {
            std::printf("%s\n", reply.toHex(' ').constData());
        } else {
            std::printf("%s -> %s\n", code.c_str(),
                        tarvel::LabelScreen(reply, QByteArray::fromStdString(code)).constData());
        }
        std::fflush(stdout);
    };

    if (fromStdin) {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            scan(line);
        }
    } else {
        for (const std::string& code : codes)
            scan(code);
    }
    socket.disconnectFromHost();
    return missing == 0 ? 0 : 1;
}
