#include "tools/adc_sim/sim_options.h"
#include "tools/adc_sim/simulator.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace {

constexpr int kExitUsage = 2;

} // namespace

int main(int argc, char* argv[])
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const adc::sim::ParsedOptions parsed = adc::sim::parseOptions(args);

    switch (parsed.action) {
    case adc::sim::ParsedOptions::Action::Help:
        std::fputs(adc::sim::usageText().c_str(), stdout);
        return 0;
    case adc::sim::ParsedOptions::Action::Version:
        std::fputs(adc::sim::versionText().c_str(), stdout);
        return 0;
    case adc::sim::ParsedOptions::Action::Error:
        std::fprintf(stderr, "adc-sim: %s\nTry 'adc-sim --help' for more information.\n",
                     parsed.error.c_str());
        return kExitUsage;
    case adc::sim::ParsedOptions::Action::Run:
        break;
    }
    adc::sim::Simulator simulator(parsed.options);
    return simulator.run(stdout, stderr);
}
