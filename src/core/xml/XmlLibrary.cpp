#include "core/xml/XmlLibrary.h"

#include "core/platform/SharedLibrary.h"

namespace tabula {

namespace {

TXmlLibrary Bound() {
    const TSystemLibrary library(TABULA_LIBXML2_SONAME);
    TXmlLibrary xml;
#define TABULA_XML_BIND(name) xml.name = library.Function<decltype(&::name)>(#name);
    TABULA_XML_FUNCTIONS(TABULA_XML_BIND)
#undef TABULA_XML_BIND
    return xml;
}

} // namespace

const TXmlLibrary& XmlLibrary() {
    // A failed load throws out of the initialisation, which the next call
    // tries again.
    static const TXmlLibrary xml = Bound();
    return xml;
}

} // namespace tabula
