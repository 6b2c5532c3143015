#pragma once
// Where a statement's tokens stand in the lists of result columns of its
// selects. A value there may go to the database as a parameter without the
// statement meaning anything else only where its column is named by "as
// name" (a column's name is otherwise its own text) and its select has no
// group by (where a result column may have to read as the grouped expression
// reads). Both backends shape their statements by this.

#include <cstddef>
#include <string_view>
#include <vector>

namespace engine {

// What a token is to the lists of result columns.
enum class ListMark {
    Open,    // (
    Close,   // )
    Comma,   // ,
    Select,  // select
    EndList, // from, where, group, order, having, limit, union ...: a list ends here
    GroupBy, // the "by" of a group by
    As,      // as
    Name,    // a word or a quoted name
    Other
};

struct ResultListPlaces {
    // For each token, how many lists of result columns it stands in, and in
    // how many of those its column is named and its select is not grouped.
    // A value may become a parameter as far as those lists go where the two
    // are equal.
    std::vector<unsigned char> lists;
    std::vector<unsigned char> named;
};

ResultListPlaces PlacesInResultLists(const std::vector<ListMark>& marks);

// The mark of a bare word, given in lower case; afterGroup: the word before
// it is "group".
ListMark WordMark(std::string_view word, bool afterGroup);

} // namespace engine
