#include "header_lists.h"

namespace appserver {

std::string_view withoutBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> headerListItems(std::string_view header) {
    std::vector<std::string_view> items;
    while (!header.empty()) {
        const size_t comma = header.find(',');
        items.push_back(withoutBlanks(header.substr(0, comma)));
        header = comma == std::string_view::npos ? std::string_view() : header.substr(comma + 1);
    }
    return items;
}

} // namespace appserver
