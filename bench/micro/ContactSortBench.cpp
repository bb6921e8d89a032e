// Sorting a buddy list of 10,000 contacts as the library hands it out sorted: mixed availabilities,
// display names in no particular order relative to the server's indices.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

#include "Model/ContactList.h"

namespace {

const int CONTACTS = 10000;

std::unique_ptr<VexlaLib::CContactList> BuddyList()
{
    std::mt19937 random(10000);
    auto list = std::make_unique<VexlaLib::CContactList>();
    const int availabilities[] = {1, 2, 3, 4, 5, 10, 12};
    for (int index = 1; index <= CONTACTS; ++index) {
        const std::wstring name = L"user" + std::to_wstring(random() % 1000000);
        VexlaLib::CContact* contact = list->CreateContact(index, index, availabilities[random() % 7], name, name);
        contact->SetFullName((random() % 2 ? L"Anna " : L"bert ") + std::to_wstring(random() % 100000));
    }
    return list;
}

void ContactSort(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<VexlaLib::CContactList> list = BuddyList();
        state.ResumeTiming();
        benchmark::DoNotOptimize(list->GetList(true).data());
        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * CONTACTS);
}

}  // namespace

BENCHMARK(ContactSort)->Name("contactsort/10000")->Unit(benchmark::kMillisecond);
