#include "http/HeaderLists.h"

#include <algorithm>
#include <cctype>

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

bool namesManipulation(std::string_view aim, std::string_view name) {
    for (std::string_view item : headerListItems(aim)) {
        const size_t semicolon = item.find(';');
        const std::string_view token = withoutBlanks(item.substr(0, semicolon));
        if (token.size() != name.size() ||
            !std::equal(token.begin(), token.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            continue;
        if (semicolon != std::string_view::npos) {
            std::string_view parameter = withoutBlanks(item.substr(semicolon + 1));
            if (parameter.substr(0, 2) == "q=" &&
                parameter.substr(2).find_first_not_of("0.") == std::string_view::npos)
                return false;
        }
        return true;
    }
    return false;
}

} // namespace appserver
