#include "bench/ratio.h"

#include "bench/bench_row.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <vector>

namespace adc::bench {

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The pairs taken so far.
struct Pairs
{
    std::vector<double> ratios;
    std::vector<double> measures;
    std::vector<double> references;

    bool add(int pair, std::optional<double> cost, std::optional<double> base)
    {
        if (!base || !cost || *base <= 0)
            return false;
        std::fprintf(stderr, "  pair %d: %.3f against %.3f, %.2f times\n", pair, *cost, *base,
                     *cost / *base);
        ratios.push_back(*cost / *base);
        measures.push_back(*cost);
        references.push_back(*base);
        return true;
    }

    std::optional<Ratio> ratio() const
    {
        if (ratios.empty())
            return std::nullopt;
        return Ratio{median(ratios), median(measures), median(references)};
    }
};

std::FILE* startCommand(const std::string& command)
{
    return popen(command.c_str(), "r");
}

// The first figure with no target that the command prints; the rest goes to stderr.
std::optional<double> figureOf(std::FILE* out)
{
    if (out == nullptr)
        return std::nullopt;
    std::optional<double> figure;
    char line[512];
    while (std::fgets(line, sizeof line, out) != nullptr) {
        const std::string text(line);
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t bar; (bar = text.find('|', start)) != std::string::npos; start = bar + 1)
            fields.push_back(text.substr(start, bar - start));
        fields.push_back(text.substr(start));
        if (!figure && fields.size() == 5 && fields[4].rfind("ref", 0) == 0)
            figure = std::strtod(fields[1].c_str(), nullptr);
        else
            std::fputs(line, stderr);
    }
    const int status = pclose(out);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return figure;
}

} // namespace

std::optional<Ratio> alternatedRatio(const Measurement& measured, const Measurement& reference,
                                     int pairs)
{
    Pairs taken;
    for (int i = 0; i < pairs; ++i) {
        const std::optional<double> base = reference();
        const std::optional<double> cost = measured();
        if (!taken.add(i + 1, cost, base))
            return std::nullopt;
    }
    return taken.ratio();
}

std::optional<Ratio> simultaneousRatio(const std::string& measuredCommand,
                                       const std::string& referenceCommand, int pairs)
{
    Pairs taken;
    for (int i = 0; i < pairs; ++i) {
        std::FILE* measured = startCommand(measuredCommand);
        std::FILE* reference = startCommand(referenceCommand);
        // Both are read to their end, so that neither is left running.
        const std::optional<double> cost = figureOf(measured);
        const std::optional<double> base = figureOf(reference);
        if (!taken.add(i + 1, cost, base))
            return std::nullopt;
    }
    return taken.ratio();
}

std::optional<double> referenceFigureOf(const std::string& command)
{
    return figureOf(startCommand(command));
}

bool printRatioRows(std::string_view name, std::string_view measuredName,
                    std::string_view referenceName, const Ratio& ratio, double target)
{
    char text[32];
    std::snprintf(text, sizeof text, "<= %g", target);
    printReference(measuredName, ratio.measured, 3, "% of a core");
    printReference(referenceName, ratio.reference, 3, "% of a core");
    return printRow(name, ratio.median, 2, "times", text, ratio.median <= target);
}

} // namespace adc::bench
