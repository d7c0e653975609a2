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

} // namespace

std::optional<Ratio> alternatedRatio(const Measurement& measured, const Measurement& reference,
                                     int pairs)
{
    std::vector<double> ratios;
    std::vector<double> measures;
    std::vector<double> references;
    for (int i = 0; i < pairs; ++i) {
        const std::optional<double> base = reference();
        const std::optional<double> cost = measured();
        if (!base || !cost || *base <= 0)
            return std::nullopt;
        std::fprintf(stderr, "  pair %d: %.3f against %.3f, %.2f times\n", i + 1, *cost, *base,
                     *cost / *base);
        ratios.push_back(*cost / *base);
        measures.push_back(*cost);
        references.push_back(*base);
    }
    if (ratios.empty())
        return std::nullopt;
    return Ratio{median(ratios), median(measures), median(references)};
}

std::optional<double> referenceFigureOf(const std::string& command)
{
    std::FILE* out = popen(command.c_str(), "r");
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
