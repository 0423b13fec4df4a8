// The kinds of fix PopSwat has, one row each: the console, the JSON and the
// window read them from here.
#include "engine/engine.h"

const std::vector<FixKind>& FixKinds() {
    static const std::vector<FixKind> kinds = {
        {"site-permission", L"Takes back what the site was allowed to do.", true},
        {"browser-shortcut", L"Takes the web address out of the shortcut.", false},
    };
    return kinds;
}

const FixKind* FindFixKind(std::string_view name) {
    for (const FixKind& kind : FixKinds()) {
        if (name == kind.name)
            return &kind;
    }
    return nullptr;
}
