#include "app/commandline.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace vantel {
namespace {

constexpr char kHelp[] = R"(Usage: vantel [--folder DIR | --data-home] [QT-OPTIONS]

Retrieves, decodes and sends the short messages of a GSM phone on a serial
cable. Vantel keeps its files in its working folder: vantel.ini (settings),
vantelq.dat (the message list), vantelsq.dat (the send queue), smsaddr.dat
and smscaddr.dat (address histories) and vantel.log; a symbolic link comN
there stands for port COMN.

Options:
  --folder DIR  Work in DIR instead of the current folder; DIR is created
                when it is missing.
  --data-home   Work in $XDG_DATA_HOME/vantel (~/.local/share/vantel when
                XDG_DATA_HOME is not set), as the menu entry starts it.
  --help        This text.
  --version     The version of Vantel.
Options with one dash (-platform NAME, -style NAME, ...) are Qt's own.

Exit status: 0 when the program ends normally or refuses to run a second
time; 2 for a usage error or a folder that cannot be used.
)";

void Say(FILE *to, const std::string &text) {
    std::fwrite(text.data(), 1, text.size(), to);
}

int UsageError(const std::string &message) {
    Say(stderr, "vantel: " + message + " (see vantel --help)\n");
    return 2;
}

// The XDG data folder of the user, or nothing without a home.
std::optional<std::string> DataHome() {
    const char *xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/vantel";  // relative ones are ignored
    const char *home = std::getenv("HOME");
    if (home && home[0]) return std::string(home) + "/.local/share/vantel";
    return std::nullopt;
}

// Makes `dir` (and its parents) when missing and the working folder; the reason when it cannot.
std::optional<std::string> EnterFolder(const std::string &dir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!ec) fs::current_path(dir, ec);
    if (ec) return ec.message();
    // The program writes its files here; finding that out at the first save would be too late.
    if (::access(".", W_OK) != 0) return std::strerror(errno);
    return std::nullopt;
}

}  // namespace

std::optional<int> TakeCommandLine(int &argc, char **argv) {
    std::optional<std::string> folder;
    int kept = 1;
    bool qtOption = false;  // the argument before was one of Qt's, which may take a value
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (qtOption && !arg.starts_with("-")) {
            argv[kept++] = argv[i];
            qtOption = false;
            continue;
        }
        qtOption = false;
        if (arg == "--help" || arg == "-h") {
            Say(stdout, kHelp);
            return 0;
        }
        if (arg == "--version") {
            Say(stdout, "vantel " VANTEL_VERSION "\n");
            return 0;
        }
        std::optional<std::string> chosen;
        if (arg == "--folder") {
            if (i + 1 >= argc) return UsageError("--folder needs a folder");
            chosen = argv[++i];
        } else if (arg.starts_with("--folder=")) {
            chosen = std::string(arg.substr(9));
        } else if (arg == "--data-home") {
            chosen = DataHome();
            if (!chosen) return UsageError("--data-home needs HOME or XDG_DATA_HOME");
        } else if (arg.starts_with("--")) {
            return UsageError("unknown option '" + std::string(arg) + "'");
        } else if (!arg.starts_with("-")) {
            return UsageError("unexpected argument '" + std::string(arg) + "'");
        } else {
            argv[kept++] = argv[i];  // one of Qt's, perhaps with a value to follow
            qtOption = true;
            continue;
        }
        if (folder) return UsageError("more than one folder");
        if (chosen->empty()) return UsageError("--folder needs a folder");
        folder = chosen;
    }
    argv[kept] = nullptr;
    argc = kept;
    if (folder) {
        if (const std::optional<std::string> reason = EnterFolder(*folder)) {
            Say(stderr, "Cannot use folder " + *folder + ": " + *reason + "\n");
            return 2;
        }
    }
    return std::nullopt;
}

}  // namespace vantel
