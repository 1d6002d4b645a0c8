#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quadrantel::shell {

enum class Compare { Binary, Text }; // exact, or without regard to case

// Returns the text before the first delimiter and leaves in `text` what follows the
// delimiter's first character; without the delimiter returns all and empties `text`.
std::string TakeToken(std::string& text, std::string_view delimiter = ",");

// Field n (from 1) of a text split at a one-character delimiter; empty when missing.
std::string GetField(std::string_view text, long n, char delimiter = ',');

// Replaces occurrences of `find` from the 1-based position `start`, at most `count`
// of them (-1: all). The text before `start` is dropped, as the runtime's Replace does.
std::string ReplaceText(std::string_view text, std::string_view find, std::string_view replacement, long start = 1,
                        long count = -1, Compare compare = Compare::Binary);

// Every occurrence replaced; the search goes on after each inserted replacement.
std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement);

// Pieces between delimiters, empty ones included; at `limit` pieces (-1: none) the rest
// of the text becomes the last piece.
std::vector<std::string> SplitText(std::string_view text, std::string_view delimiter = " ", long limit = -1,
                                   Compare compare = Compare::Binary);

} // namespace quadrantel::shell
