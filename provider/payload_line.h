// Line functions of the payload configuration reader: where a line's first tag, that tag's first
// attribute and the text after the line's first ">" stand.
#pragma once

// Each function below takes a NUL-terminated line, returns the position of what it found inside
// that line (or null) and sets *len (never null) to its length, 0 when nothing was found.

// Skips space characters (blanks only, not tabs).
const char *removeBlanks(const char *text);
// The first tag's name: after the first "<" and its blanks, up to a space or ">".
const char *getProp(const char *line, int *len);
// The first tag's first attribute name: after the tag name and blanks, up to "=", ">" or a space.
const char *getSubProp(const char *line, int *len);
// The text after the line's first ">", up to "<", CR, LF or 0x08.
const char *getPropValue(const char *line, int *len);
