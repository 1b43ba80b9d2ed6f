#pragma once

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlwriter.h>

namespace tabula {

// The libxml2 functions the datafile reader and writer call, by their own
// names.
// __xmlGenericError and the like give where the calling thread's error
// handlers are kept, which the pull reader sets for its calls and puts back
// after them.
#define TABULA_XML_FUNCTIONS(F)                                                                    \
    F(__xmlGenericError)                                                                           \
    F(__xmlGenericErrorContext)                                                                    \
    F(__xmlStructuredError)                                                                        \
    F(__xmlStructuredErrorContext)                                                                 \
    F(xmlBufferContent)                                                                            \
    F(xmlBufferCreate)                                                                             \
    F(xmlBufferEmpty)                                                                              \
    F(xmlBufferFree)                                                                               \
    F(xmlBufferLength)                                                                             \
    F(xmlCreatePushParserCtxt)                                                                     \
    F(xmlCtxtUseOptions)                                                                           \
    F(xmlFreeDoc)                                                                                  \
    F(xmlFreeParserCtxt)                                                                           \
    F(xmlFreeTextWriter)                                                                           \
    F(xmlNewTextWriterMemory)                                                                      \
    F(xmlParseChunk)                                                                               \
    F(xmlStopParser)                                                                               \
    F(xmlTextWriterEndDocument)                                                                    \
    F(xmlTextWriterEndElement)                                                                     \
    F(xmlTextWriterFlush)                                                                          \
    F(xmlTextWriterSetIndent)                                                                      \
    F(xmlTextWriterSetIndentString)                                                                \
    F(xmlTextWriterStartDocument)                                                                  \
    F(xmlTextWriterStartElement)                                                                   \
    F(xmlTextWriterWriteAttribute)                                                                 \
    F(xmlTextWriterWriteDTD)                                                                       \
    F(xmlTextWriterWriteElement)                                                                   \
    F(xmlTextWriterWriteString)

struct TXmlLibrary {
#define TABULA_XML_POINTER(name) decltype(&::name) name = nullptr;
    TABULA_XML_FUNCTIONS(TABULA_XML_POINTER)
#undef TABULA_XML_POINTER
};

// libxml2, loaded at the first call: most runs read and write no XML, and
// loading it (with ICU behind it) took a third of the program's start.
// Throws ESystemLibraryError when it cannot be loaded.
const TXmlLibrary& XmlLibrary();

} // namespace tabula
