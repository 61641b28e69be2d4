// The report file: the summary table with the machine it was measured on, so that figures
// from different machines are never compared unawares.
#include "BenchSupport.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <thread>

namespace bench {
namespace {

std::string FirstValue(const char* file, const std::string& key)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, key.size(), key) == 0) {
            size_t colon = line.find(':');
            if (colon == std::string::npos)
                return {};
            size_t start = line.find_first_not_of(" \t", colon + 1);
            return start == std::string::npos ? std::string() : line.substr(start);
        }
    return {};
}

std::string MachineDescription()
{
    utsname u{};
    uname(&u);
    std::string cpu = FirstValue("/proc/cpuinfo", "model name");
    std::string memory = FirstValue("/proc/meminfo", "MemTotal");
    return Format("%s; %u hardware threads; %s memory; %s %s", cpu.empty() ? "unknown processor" : cpu.c_str(),
                  std::thread::hardware_concurrency(), memory.c_str(), u.sysname, u.release);
}

} // namespace

void WriteMarkdownReport(const std::string& path)
{
    char date[32] = "";
    std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    std::ofstream out(path, std::ios::trunc);
    out << "# Benchmarks\n\n"
        << "The latest table printed by `make bench`. Every figure stands beside a baseline measured in "
           "the same run, on the same machine.\n\n"
        << "- Measured: " << date << "\n"
        << "- Machine: " << MachineDescription() << "\n\n"
        << SummaryTable();
}

} // namespace bench
