#include "core/header/BuiltInDetectorFiles.h"
#include "core/header/Detector.h"
#include "core/platform/FileReader.h"
#include "core/platform/SharedLibrary.h"
#include "core/xml/XmlTree.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>

namespace tabula {

namespace {

class TDetectorReader {
public:
    explicit TDetectorReader(const std::string& fileName) : fileName_(fileName) {}

    TDetector Read(std::string_view bytes) {
        TXmlElement root;
        try {
            root = ReadXmlTree(bytes);
        } catch (const EXmlTreeError& error) {
            Refuse(error.Line, error.what());
        } catch (const ESystemLibraryError& error) {
            Refuse(0, error.what());
        }
        if (root.Name != "detector") {
            Refuse(root.Line, "the root element is <" + root.Name + ">, not <detector>");
        }
        OnlyAttributes(root, {});
        TDetector detector;
        detector.FileName = fileName_;
        for (const TXmlElement& child : root.Children) {
            if (child.Name == "name" || child.Name == "author" || child.Name == "version") {
                OnlyAttributes(child, {});
                NoChildren(child);
                (child.Name == "name"     ? detector.Name
                 : child.Name == "author" ? detector.Author
                                          : detector.Version) = child.Text;
            } else if (child.Name == "rule") {
                detector.Rules.push_back(Rule(child));
            } else {
                Unknown(child);
            }
        }
        if (detector.Rules.empty()) {
            Refuse(root.Line, "the detector has no <rule>");
        }
        return detector;
    }

private:
    [[noreturn]] void Refuse(std::size_t line, const std::string& what) const {
        const std::string where = line == 0 ? std::string() : "line " + std::to_string(line) + ": ";
        throw EDetectorError("Cannot read the detector \"" + fileName_ + "\": " + where + what);
    }

    [[noreturn]] void Unknown(const TXmlElement& element) const {
        Refuse(element.Line, "unknown element <" + element.Name + ">");
    }

    void OnlyAttributes(const TXmlElement& element, const std::set<std::string_view>& allowed) {
        for (const auto& [name, value] : element.Attributes) {
            if (!allowed.contains(name)) {
                Refuse(element.Line,
                       "unknown attribute \"" + name + "\" of <" + element.Name + ">");
            }
        }
    }

    void NoChildren(const TXmlElement& element) {
        if (!element.Children.empty()) {
            Unknown(element.Children.front());
        }
    }

    // Hexadecimal digits, with a minus sign when negative is true.
    int64_t Offset(const TXmlElement& element, const char* attribute, bool negative = true) {
        const std::string* text = element.Attribute(attribute);
        if (text == nullptr) {
            return 0;
        }
        std::string_view digits = *text;
        const bool minus = negative && digits.starts_with('-');
        if (minus) {
            digits.remove_prefix(1);
        }
        uint64_t value = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
            value > static_cast<uint64_t>(INT64_MAX)) {
            Refuse(element.Line, std::string("the ") + attribute + " \"" + *text + "\" of <" +
                                     element.Name + "> is not a hexadecimal number");
        }
        return minus ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
    }

    std::vector<uint8_t> Bytes(const TXmlElement& element, const char* attribute) {
        const std::string* text = element.Attribute(attribute);
        if (text == nullptr) {
            Refuse(element.Line, "<" + element.Name + "> has no " + attribute);
        }
        std::vector<uint8_t> bytes;
        const auto digit = [](char c) {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        for (std::size_t i = 0; i + 1 < text->size(); i += 2) {
            const int high = digit((*text)[i]);
            const int low = digit((*text)[i + 1]);
            if (high < 0 || low < 0) {
                break;
            }
            bytes.push_back(static_cast<uint8_t>(high * 16 + low));
        }
        if (text->empty() || bytes.size() * 2 != text->size()) {
            Refuse(element.Line, std::string("the ") + attribute + " \"" + *text + "\" of <" +
                                     element.Name +
                                     "> is not an even number of hexadecimal "
                                     "digits");
        }
        return bytes;
    }

    bool Result(const TXmlElement& element) {
        const std::string* text = element.Attribute("result");
        if (text == nullptr || *text == "true") {
            return true;
        }
        if (*text != "false") {
            Refuse(element.Line, "the result \"" + *text + "\" of <" + element.Name +
                                     "> is neither true nor false");
        }
        return false;
    }

    TDetectorRule Rule(const TXmlElement& element) {
        OnlyAttributes(element, {"start_offset", "end_offset", "operation"});
        TDetectorRule rule;
        rule.Line = element.Line;
        rule.Start = Offset(element, "start_offset");
        if (const std::string* end = element.Attribute("end_offset");
            end != nullptr && *end != "EOF") {
            rule.End = Offset(element, "end_offset");
        }
        if (const std::string* operation = element.Attribute("operation")) {
            static const std::pair<std::string_view, TByteOperation> Operations[] = {
                {"none", TByteOperation::None},
                {"bitswap", TByteOperation::Bitswap},
                {"byteswap", TByteOperation::Byteswap},
                {"wordswap", TByteOperation::Wordswap},
                {"wordbyteswap", TByteOperation::WordByteswap}};
            const auto* found =
                std::find_if(std::begin(Operations), std::end(Operations),
                             [&](const auto& entry) { return entry.first == *operation; });
            if (found == std::end(Operations)) {
                Refuse(element.Line, "unknown operation \"" + *operation + "\"");
            }
            rule.Operation = found->second;
        }
        for (const TXmlElement& child : element.Children) {
            rule.Tests.push_back(Test(child));
        }
        return rule;
    }

    TDetectorTest Test(const TXmlElement& element) {
        NoChildren(element);
        TDetectorTest test;
        if (element.Name == "data") {
            OnlyAttributes(element, {"offset", "value", "result"});
            test.Kind = TDetectorTest::TKind::Data;
        } else if (element.Name == "and" || element.Name == "or" || element.Name == "xor") {
            OnlyAttributes(element, {"offset", "mask", "value", "result"});
            test.Kind = element.Name == "and"  ? TDetectorTest::TKind::And
                        : element.Name == "or" ? TDetectorTest::TKind::Or
                                               : TDetectorTest::TKind::Xor;
            test.Mask = Bytes(element, "mask");
        } else if (element.Name == "file") {
            OnlyAttributes(element, {"size", "operator", "result", "modulus"});
            test.Kind = TDetectorTest::TKind::File;
            const std::string* size = element.Attribute("size");
            if (size == nullptr) {
                Refuse(element.Line, "<file> has no size");
            }
            test.PowerOfTwo = *size == "PO2";
            if (!test.PowerOfTwo) {
                test.Size = static_cast<uint64_t>(Offset(element, "size", false));
            }
            if (element.Attribute("modulus") != nullptr) {
                test.Modulus = static_cast<uint64_t>(Offset(element, "modulus", false));
                if (*test.Modulus == 0 || test.PowerOfTwo) {
                    Refuse(element.Line, "a modulus must be above 0 and goes with a size");
                }
            }
            if (const std::string* op = element.Attribute("operator")) {
                if (*op == "equal") {
                    test.Operator = TDetectorTest::TOperator::Equal;
                } else if (*op == "less") {
                    test.Operator = TDetectorTest::TOperator::Less;
                } else if (*op == "greater") {
                    test.Operator = TDetectorTest::TOperator::Greater;
                } else {
                    Refuse(element.Line, "unknown operator \"" + *op + "\"");
                }
            }
            test.Result = Result(element);
            return test;
        } else {
            Unknown(element);
        }
        test.Offset = Offset(element, "offset");
        test.Value = Bytes(element, "value");
        if (!test.Mask.empty() && test.Mask.size() != test.Value.size()) {
            Refuse(element.Line,
                   "the mask and the value of <" + element.Name + "> are not of the same length");
        }
        test.Result = Result(element);
        return test;
    }

    std::string fileName_;
};

} // namespace

TDetector ReadDetector(std::string_view bytes, const std::string& fileName) {
    return TDetectorReader(fileName).Read(bytes);
}

TDetector ReadDetectorFile(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    TFileReader file;
    // Detector files are a few KiB; anything near this is not one.
    constexpr uint64_t Largest = uint64_t{16} << 20;
    if (!file.Open(path)) {
        throw EDetectorError("Cannot read the detector \"" + name + "\": it cannot be opened");
    }
    if (file.Size() > Largest) {
        throw EDetectorError("Cannot read the detector \"" + name + "\": it is larger than 16 MiB");
    }
    std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
    if (file.ReadAt(0, bytes.data(), bytes.size()) != bytes.size()) {
        throw EDetectorError("Cannot read the detector \"" + name + "\": reading it failed");
    }
    return ReadDetector(bytes, name);
}

std::vector<TDetector> BuiltInDetectors() {
    std::vector<TDetector> detectors;
    for (const TDetectorFile& file : BuiltInDetectorFiles()) {
        detectors.push_back(ReadDetector(file.Text, std::string(file.Name)));
    }
    return detectors;
}

namespace {

std::shared_future<std::shared_ptr<const TDetectorSet>>& BuiltInSetLoading() {
    static std::shared_future<std::shared_ptr<const TDetectorSet>> loading;
    return loading;
}

std::once_flag& BuiltInSetStarted() {
    static std::once_flag started;
    return started;
}

} // namespace

void PrepareBuiltInDetectorSet() {
    std::call_once(BuiltInSetStarted(), [] {
        BuiltInSetLoading() = std::async(std::launch::async, [] {
                                  return std::make_shared<const TDetectorSet>(BuiltInDetectors());
                              }).share();
    });
}

const TDetectorSet& BuiltInDetectorSet() {
    PrepareBuiltInDetectorSet();
    return *BuiltInSetLoading().get();
}

} // namespace tabula
