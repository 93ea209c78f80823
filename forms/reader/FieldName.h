#pragma once
// The full name of a form field: the partial names (/T) of the widget and its ancestors along
// /Parent, from the root down, joined by ".". The reader names every field with it and the filler
// looks widgets up by it, so both agree on every name.
//
//   std::optional<std::string> name = FieldName::fullName(file, widgetDictionary);
//
// A node without a /T text adds nothing (no empty piece, no extra "."); a /T that is present but
// empty adds an empty piece. The walk ends at the root, at a dictionary met before (a /Parent
// cycle: the names collected so far stand) or after `maxDepth` dictionaries.

#include <optional>
#include <string>

#include "pdf/PDFRef.h"

class PDFDictionary;
class PDFFile;

namespace FieldName {

// Longest full name read, in UTF-8 bytes. Real names are a few dozen bytes; a longer one only
// comes from a hostile file, and such a widget is left alone by the reader and the filler.
constexpr std::size_t maxBytes = 4096;

// Ancestors walked up from a widget. Real field trees are a handful of levels deep; a longer
// chain makes the name unreadable.
constexpr int maxDepth = 256;

// The widget's full name: "" when no node of its chain has a /T text; nothing when the name is
// longer than maxBytes or the chain is deeper than maxDepth (the widget is then unreadable).
std::optional<std::string> fullName(PDFFile& file, const PDFDictionary* widget);
// The same for a widget given by reference; nothing when it is no dictionary.
std::optional<std::string> fullName(PDFFile& file, PDFRef widget);

}  // namespace FieldName
