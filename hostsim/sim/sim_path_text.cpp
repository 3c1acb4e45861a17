// Object paths as text: namespace:Class.Key="value",... and back.
#include <cctype>

#include "sim_values.h"

namespace hostsim::sim {

namespace {

bool is_name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool is_name(const std::string &text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!is_name_char(c)) {
            return false;
        }
    }
    return true;
}

// Reads one key value starting at `pos`: quoted with escapes, or bare up to the next ','.
bool read_key_value(const std::string &text, size_t &pos, std::string *value, std::string *error) {
    value->clear();
    if (pos < text.size() && text[pos] == '"') {
        for (++pos; pos < text.size() && text[pos] != '"'; ++pos) {
            if (text[pos] == '\\' && pos + 1 < text.size()) {
                ++pos;
            }
            value->push_back(text[pos]);
        }
        if (pos >= text.size()) {
            *error = "unterminated quote in '" + text + "'";
            return false;
        }
        ++pos;
        return true;
    }
    size_t end = text.find(',', pos);
    end = end == std::string::npos ? text.size() : end;
    *value = text.substr(pos, end - pos);
    pos = end;
    return true;
}

std::string quoted(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return out + "\"";
}

} // namespace

std::string format_path_text(const PathText &path) {
    std::string text = path.nameSpace + ":" + path.className;
    for (size_t i = 0; i < path.keys.size(); ++i) {
        text += (i ? "," : ".") + path.keys[i].first + "=" + quoted(path.keys[i].second);
    }
    return text;
}

bool parse_path_text(const std::string &text, PathText *path, std::string *error) {
    std::string why;
    PathText parsed;
    size_t colon = text.find(':');
    size_t dot = text.find('.', colon == std::string::npos ? 0 : colon);
    if (colon == std::string::npos || colon == 0) {
        why = "'" + text + "' has no namespace (expected namespace:Class)";
    } else {
        parsed.nameSpace = text.substr(0, colon);
        parsed.className =
            text.substr(colon + 1, dot == std::string::npos ? std::string::npos : dot - colon - 1);
        if (!is_name(parsed.className)) {
            why = "'" + parsed.className + "' is not a class name in '" + text + "'";
        }
    }
    for (size_t pos = dot; why.empty() && pos != std::string::npos && pos < text.size();) {
        size_t eq = text.find('=', pos + 1);
        std::string key = eq == std::string::npos ? "" : text.substr(pos + 1, eq - pos - 1);
        if (!is_name(key)) {
            why = "expected Key=value after '" + text.substr(0, pos + 1) + "'";
            break;
        }
        pos = eq + 1;
        std::string value;
        if (!read_key_value(text, pos, &value, &why)) {
            break;
        }
        parsed.keys.emplace_back(key, value);
        if (pos < text.size() && text[pos] != ',') {
            why = "expected ',' after the value of " + key + " in '" + text + "'";
        } else if (pos + 1 == text.size()) {
            why = "'" + text + "' ends with ','";
        }
    }
    if (!why.empty()) {
        if (error) {
            *error = why;
        }
        return false;
    }
    *path = std::move(parsed);
    return true;
}

} // namespace hostsim::sim
