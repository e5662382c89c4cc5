// Load time of the text table at its production size, against a parser whose
// replacement restarts its search at the beginning after every replacement.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "localization/text_table.h"

namespace {
constexpr int kSections = 17;
constexpr int kEntriesPerSection = 611;

// A table of the production shape: 17 sections of about 611 entries, values of varied
// length, and line-break markers in many of them.
std::wstring productionShapedTable() {
    static const wchar_t* const kCodes[kSections] = {L"cs-CZ", L"da-DK", L"de-DE", L"en-US", L"es-ES", L"fr-FR",
                                                     L"it-IT", L"ja-JP", L"ko-KR", L"nl-NL", L"pl-PL", L"pt-PT",
                                                     L"ru-RU", L"sv-SE", L"tr-TR", L"zh-CHS", L"zh-CHT"};
    static const std::wstring kWords[] = {L"Please ", L"wait ", L"while ", L"the ", L"firmware ", L"update ",
                                          L"completes. ", L"Drive ", L"health ", L"is ", L"good. ", L"Secure "};
    std::wstring text = L"\xFEFF";
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int s = 0; s < kSections; ++s) {
        text += L"Code=" + std::wstring(kCodes[s]) + L",Language " + std::to_wstring(s) + L"\r\n";
        for (int e = 0; e < kEntriesPerSection; ++e) {
            text += L"message_" + std::to_wstring(e) + L":::";
            const int words = 3 + static_cast<int>(next() % 10);
            for (int w = 0; w < words; ++w) {
                text += kWords[next() % 12];
                const unsigned marker = next() % 10;
                if (marker == 0) text += L"<br>";
                if (marker == 1) text += L"</br>";
            }
            text += L"\r\n";
        }
    }
    return text;
}

const std::wstring& table() {
    static const std::wstring text = productionShapedTable();
    return text;
}

// --- Baseline: every step done as plainly as possible, with a replacement that
// restarts at position 0 after every replacement.
std::wstring restartingReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (std::size_t at = text.find(from); at != std::wstring::npos; at = text.find(from)) {
        text.replace(at, from.size(), to);
    }
    return text;
}

struct BaselineTable {
    std::map<std::wstring, std::map<std::wstring, std::wstring, CodeUnitLess>, CodeUnitLess> textsByCulture;
    std::map<std::wstring, std::wstring, CodeUnitLess> namesByCulture;
    std::map<std::wstring, std::wstring, CodeUnitLess> culturesByName;
};

void baselineParse(BaselineTable& table, std::wstring text) {
    text = restartingReplaceAll(text, L"</br>", L"\n");
    text = restartingReplaceAll(text, L"<br>", L"\n");
    const std::vector<std::size_t> starts = findAll(text, L"Code=");
    for (std::size_t s = 0; s < starts.size(); ++s) {
        const std::size_t end = s + 1 < starts.size() ? starts[s + 1] : text.size();
        const std::wstring section = text.substr(starts[s], end - starts[s]);
        const std::vector<std::size_t> ends = findAll(section, L"\r\n");
        if (ends.empty()) continue;
        const std::wstring header = section.substr(0, ends[0]);
        const std::size_t equals = header.find(L'=');
        const std::size_t comma = header.find(L',');
        const std::wstring code = header.substr(equals + 1, comma - equals - 1);
        const std::wstring name = header.substr(comma + 1);
        table.namesByCulture[code] = name;
        table.culturesByName[name] = code;
        std::map<std::wstring, std::wstring, CodeUnitLess> entries;
        for (std::size_t j = 1; j < ends.size(); ++j) {
            const std::wstring line = section.substr(ends[j - 1] + 2, ends[j] - ends[j - 1] - 2);
            const std::size_t separator = line.find(L":::");
            if (separator == std::wstring::npos) continue;
            entries[line.substr(0, separator)] = line.substr(separator + 3);
        }
        table.textsByCulture[code] = entries;
    }
}

// Mean wall-clock milliseconds per load of the last run of each benchmark.
double parserMs = 0.0;
double baselineMs = 0.0;

template <typename Load>
void measure(benchmark::State& state, double& meanMs, Load load) {
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) load();
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    meanMs = spent.count() / static_cast<double>(state.iterations());
    state.counters["MB_utf16"] = static_cast<double>(table().size()) * 2 / 1e6;
}

void BM_Parse(benchmark::State& state) {
    measure(state, parserMs, [] {
        TextTable loaded;
        loaded.parse(table());
        benchmark::DoNotOptimize(loaded);
    });
}

void BM_BaselineParse(benchmark::State& state) {
    measure(state, baselineMs, [] {
        BaselineTable loaded;
        baselineParse(loaded, table());
        benchmark::DoNotOptimize(loaded);
    });
}
}  // namespace

BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineParse)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const std::wstring& text = table();
    const std::size_t markers = findAll(text, L"<br>").size() + findAll(text, L"</br>").size();
    std::printf("table: %d sections x %d entries, %zu UTF-16 units (%.2f MB), %zu line-break markers\n", kSections,
                kEntriesPerSection, text.size(), text.size() * 2 / 1e6, markers);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("load: parser %.2f ms, restarting baseline %.2f ms, baseline/parser = %.1f\n", parserMs, baselineMs,
                baselineMs / parserMs);
    benchmark::Shutdown();
    return 0;
}
