#pragma once
// What zerbin's and the monitor's bindings share: a resolver over the
// platform loader, and the copy of each library's bound slots into the
// program's table of entries.
#include "base/binding_plan.h"
#include "base/platform_entries.h"

// Binds through the platform loader, by name and, when `byOrdinal` is set,
// then by ordinal. Libraries are never freed: the entries must stay valid
// for the life of the process.
class LoaderResolver : public BindingResolver {
public:
    explicit LoaderResolver(bool byOrdinal) : byOrdinal_(byOrdinal) {}
    bool load(const wchar_t* file) override;
    void* byName(const char* name) override;
    void* byOrdinal(uint16_t ordinal) override;

private:
    bool byOrdinal_;
    HMODULE module_ = nullptr;
};

// Fills `entries` from the slots that bindLibrary filled (lookup order).
void takeCellCoreEntries(PlatformEntries& entries, void* const* slots);
void takeWinInetEntries(PlatformEntries& entries, void* const* slots);
// The WinInet entries no start depends on, from the library just bound.
void takeOptionalWinInetEntries(PlatformEntries& entries, LoaderResolver& loader);
void takeAygShellEntries(PlatformEntries& entries, void* const* slots);
