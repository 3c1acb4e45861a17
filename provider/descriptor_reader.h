// The package descriptor reader: a line-oriented scan of a CIM-XML style descriptor that fills a
// package record (name, type, category, prerequisites, payload URI, identification code,
// supersedes) and gives the package its installation-order key.
#pragma once

#include <cstdint>

// Descriptor lines are read into buffers of this size; a longer line is read as several lines.
constexpr int kDescriptorLineSize = 1024;

// Reads the descriptor at the record's LocalFileURI ("file:/" + path) into record pkgIndex and sets
// its OrderFlag. A descriptor that cannot be opened records status 12 and sets OrderFlag 1002.
void getPkgAssociation(int32_t pkgIndex);

// Strips a line in place: a line starting with "<" stays as read (line end included); any other
// line keeps only the part from its first "<" to its last ">" (empty when there is none).
void trimXMLString(char *line);

// Cuts the first 7 and the last 8 characters of a stripped value line in place, turning
// "<VALUE>v</VALUE>" into "v". A line shorter than 15 characters becomes empty.
void getXmlTagData(char *line);
