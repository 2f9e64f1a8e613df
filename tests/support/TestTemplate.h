#pragma once

#include "xml/qlxXML.h"

// The title band of a template's report page, which holds its text and line objects.
inline TqlxXMLItem& TemplateBand(const TqlxXMLDocument& document) { return *document.Root()->Child(1)->Child(0); }
