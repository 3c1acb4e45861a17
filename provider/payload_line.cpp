#include "payload_line.h"

#include <cstring>

const char *removeBlanks(const char *text) {
    while (text != nullptr && *text == ' ') {
        ++text;
    }
    return text;
}

const char *getProp(const char *line, int *len) {
    *len = 0;
    const char *open = line != nullptr ? std::strchr(line, '<') : nullptr;
    if (open == nullptr) {
        return nullptr;
    }
    const char *name = removeBlanks(open + 1);
    size_t nameLen = std::strcspn(name, " >");
    if (nameLen == 0) {
        return nullptr;
    }
    *len = static_cast<int>(nameLen);
    return name;
}

const char *getSubProp(const char *line, int *len) {
    int nameLen = 0;
    const char *name = getProp(line, &nameLen);
    *len = 0;
    if (name == nullptr) {
        return nullptr;
    }
    const char *attr = removeBlanks(name + nameLen);
    if (*attr == '\0' || *attr == '=' || *attr == '>' || *attr == ' ') {
        return nullptr;
    }
    *len = static_cast<int>(std::strcspn(attr, "=> "));
    return attr;
}

const char *getPropValue(const char *line, int *len) {
    *len = 0;
    if (line == nullptr) {
        return nullptr;
    }
    size_t close = std::strcspn(line, ">\r\n\b");
    if (line[close] != '>') {
        return nullptr;
    }
    const char *text = line + close + 1;
    size_t textLen = std::strcspn(text, "<\r\n\b");
    if (textLen == 0) {
        return nullptr;
    }
    *len = static_cast<int>(textLen);
    return text;
}
