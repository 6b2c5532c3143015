#include "engine/ResultColumns.h"

#include <utility>

namespace engine {

namespace {

struct Frame {
    bool inList = false;
    bool grouped = false;
    std::size_t columnBegin = 0;
    std::vector<std::pair<std::size_t, std::size_t>> namedColumns; // token ranges, the "as name" left out
};

} // namespace

ResultListPlaces PlacesInResultLists(const std::vector<ListMark>& marks) {
    ResultListPlaces places{std::vector<unsigned char>(marks.size(), 0), std::vector<unsigned char>(marks.size(), 0)};
    std::vector<Frame> frames(1);
    unsigned char openLists = 0;
    const auto endColumn = [&](Frame& frame, std::size_t end) {
        if (end >= frame.columnBegin + 3 && marks[end - 2] == ListMark::As && marks[end - 1] == ListMark::Name)
            frame.namedColumns.emplace_back(frame.columnBegin, end - 2);
    };
    const auto endList = [&](Frame& frame, std::size_t end) {
        if (!frame.inList)
            return;
        endColumn(frame, end);
        frame.inList = false;
        --openLists;
    };
    const auto endFrame = [&](std::size_t end) {
        Frame& frame = frames.back();
        endList(frame, end);
        if (!frame.grouped) {
            for (const auto& [begin, stop] : frame.namedColumns)
                for (std::size_t t = begin; t < stop; ++t)
                    ++places.named[t];
        }
        frames.pop_back();
    };
    for (std::size_t t = 0; t < marks.size(); ++t) {
        places.lists[t] = openLists;
        Frame& frame = frames.back();
        switch (marks[t]) {
        case ListMark::Open:
            frames.emplace_back();
            break;
        case ListMark::Close:
            if (frames.size() > 1)
                endFrame(t);
            break;
        case ListMark::Select:
            endList(frame, t);
            frame.inList = true;
            frame.columnBegin = t + 1;
            ++openLists;
            break;
        case ListMark::EndList:
            endList(frame, t);
            break;
        case ListMark::GroupBy:
            frame.grouped = true;
            break;
        case ListMark::Comma:
            if (frame.inList) {
                endColumn(frame, t);
                frame.columnBegin = t + 1;
            }
            break;
        case ListMark::As:
        case ListMark::Name:
        case ListMark::Other:
            break;
        }
    }
    while (!frames.empty())
        endFrame(marks.size());
    return places;
}

ListMark WordMark(std::string_view word, bool afterGroup) {
    static constexpr std::string_view listEnds[] = {"from",   "where", "group",     "order",  "having", "limit",
                                                    "window", "union", "intersect", "except", "values"};
    if (word == "select")
        return ListMark::Select;
    if (word == "as")
        return ListMark::As;
    if (word == "by" && afterGroup)
        return ListMark::GroupBy;
    for (std::string_view end : listEnds)
        if (word == end)
            return ListMark::EndList;
    return ListMark::Name;
}

} // namespace engine
