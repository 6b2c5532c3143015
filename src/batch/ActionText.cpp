#include "batch/ActionText.h"

#include "general/TextForm.h"

#include <iterator>

namespace batch {

namespace {

struct KindWords {
    const char* kind;
    const char* name;     // as a heading or a file shows it
    const char* sentence; // as a sentence names it
};

constexpr KindWords kinds[] = {
    {journal::kindRepair, "Repair", "the repair"}, {journal::kindRebuild, "Rebuild", "the rebuild"},
    {journal::kindFixAll, "Fix All", "Fix All"},   {journal::kindFixThese, "Fix these", "Fix these"},
    {journal::kindUndo, "Undo", "the undo"},
};

const KindWords* wordsOf(const std::string& kind) {
    for (const KindWords& words : kinds)
        if (kind == words.kind)
            return &words;
    return nullptr;
}

} // namespace

std::string KindName(const std::string& kind) {
    const KindWords* words = wordsOf(kind);
    return words ? words->name : kind;
}

std::string DescribeAction(const journal::Action& action, const platform::Locale& locale) {
    const KindWords* words = wordsOf(action.kind);
    return (words ? std::string(words->sentence) : "the " + action.kind) + " of " +
           ShortDateTime(action.madeAt, locale) + (action.login.empty() ? "" : " (" + action.login + ")");
}

} // namespace batch
