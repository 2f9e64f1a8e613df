#include "tests/support/XmlWellFormed.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <memory>
#include <stdexcept>

namespace {

struct TDocDeleter {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};

// The parser reports nothing on its own; XML_PARSE_HUGE lifts the limits on
// lengths that guard a reader, not the format.
constexpr int kStrictOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE;

}  // namespace

std::string XmlWellFormednessError(std::string_view bytes) {
    xmlInitParser();
    xmlResetLastError();
    const std::unique_ptr<xmlDoc, TDocDeleter> document(
        xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, kStrictOptions));
    if (document) return {};
    const xmlError* error = xmlGetLastError();
    return error != nullptr && error->message != nullptr ? error->message : "not well-formed";
}

void CheckWellFormedXml(const std::string& fileName, std::string_view bytes) {
    const std::string error = XmlWellFormednessError(bytes);
    if (!error.empty()) throw std::runtime_error(fileName + " is not well-formed XML: " + error);
}
