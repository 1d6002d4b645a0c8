// Filling bound lists: a list model and its widget (offscreen) as the windows bind them. The
// player list of a busy voice channel, the station boxes of a data folder of thousands of
// position files, and one new pilot heard in a full list.
#include "forms/Bindings.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QListWidget>

#include <string>
#include <vector>

using namespace quadrantel;

namespace {

std::vector<std::string> Numbered(std::int64_t count)
{
    std::vector<std::string> texts;
    for (std::int64_t i = 0; i < count; ++i)
        texts.push_back("DLH" + std::to_string(i));
    return texts;
}

// The whole list in one change, as the windows fill it.
void BM_FillBoundList(benchmark::State& state)
{
    const auto texts = Numbered(state.range(0));
    for (auto _ : state) {
        platform::ListBox model;
        QListWidget widget;
        forms::Bind(model, &widget);
        model.setItems(texts);
        benchmark::DoNotOptimize(widget.count());
    }
}
BENCHMARK(BM_FillBoundList)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Entry by entry: each add is a change the widget follows.
void BM_AddToBoundListOneByOne(benchmark::State& state)
{
    const auto texts = Numbered(state.range(0));
    for (auto _ : state) {
        platform::ListBox model;
        QListWidget widget;
        forms::Bind(model, &widget);
        for (const std::string& t : texts)
            model.addItem(t);
        benchmark::DoNotOptimize(widget.count());
    }
}
BENCHMARK(BM_AddToBoundListOneByOne)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);

// One more pilot heard: the player list is set again with one entry more.
void BM_OneMoreInAFullBoundList(benchmark::State& state)
{
    auto texts = Numbered(state.range(0));
    platform::ListBox model;
    QListWidget widget;
    forms::Bind(model, &widget);
    model.setItems(texts);
    for (auto _ : state) {
        texts.push_back("NEW");
        model.setItems(texts);
        texts.pop_back();
        model.setItems(texts);
    }
}
BENCHMARK(BM_OneMoreInAFullBoundList)->Arg(10000)->Unit(benchmark::kMillisecond);

// A change that is not of the entries (the selection) in a full list.
void BM_SelectInAFullBoundList(benchmark::State& state)
{
    platform::ListBox model;
    QListWidget widget;
    forms::Bind(model, &widget);
    model.setItems(Numbered(state.range(0)));
    int i = 0;
    for (auto _ : state)
        model.setListIndex(i++ % model.listCount());
}
BENCHMARK(BM_SelectInAFullBoundList)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The station box of a data folder with this many position files.
void BM_FillBoundStationBox(benchmark::State& state)
{
    const auto texts = Numbered(state.range(0));
    for (auto _ : state) {
        platform::ComboBox model;
        QComboBox widget;
        forms::Bind(model, &widget);
        model.setItems(texts);
        model.setText("");
        benchmark::DoNotOptimize(widget.count());
    }
}
BENCHMARK(BM_FillBoundStationBox)->Arg(5000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
