#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace quadrantel::net {

// Automation variant type codes, as the socket class's typed transfers use them.
enum VarType : int {
    vbEmpty = 0,
    vbNull = 1,
    vbInteger = 2,
    vbLong = 3,
    vbSingle = 4,
    vbDouble = 5,
    vbCurrency = 6,
    vbDate = 7,
    vbString = 8,
    vbObject = 9,
    vbError = 10,
    vbBoolean = 11,
    vbByte = 17,
    vbByteArray = 0x2011,
};

using Bytes = std::vector<std::uint8_t>;

// A small tagged value: the empty value, the types of the table above, and any other type
// code as an opaque value that the socket class refuses.
class Variant {
public:
    Variant() = default;
    Variant(const char* text) : type_(vbString), value_(std::string(text)) {}
    Variant(std::string text) : type_(vbString), value_(std::move(text)) {}
    Variant(std::int16_t v) : type_(vbInteger), value_(static_cast<std::int64_t>(v)) {}
    Variant(std::int32_t v) : type_(vbLong), value_(static_cast<std::int64_t>(v)) {}
    Variant(float v) : type_(vbSingle), value_(static_cast<double>(v)) {}
    Variant(double v) : type_(vbDouble), value_(v) {}
    Variant(bool v) : type_(vbBoolean), value_(static_cast<std::int64_t>(v ? -1 : 0)) {}
    Variant(std::uint8_t v) : type_(vbByte), value_(static_cast<std::int64_t>(v)) {}
    Variant(Bytes bytes) : type_(vbByteArray), value_(std::move(bytes)) {}

    static Variant Currency(std::int64_t scaledBy10000) { return Variant(vbCurrency, scaledBy10000); }
    static Variant Date(double days) { return Variant(vbDate, days); }
    static Variant Null() { return Variant(vbNull, std::monostate{}); }
    // A value of a type the socket class does not handle (an object, an error, ...).
    static Variant Opaque(int type) { return Variant(type, std::monostate{}); }

    int type() const { return type_; }
    bool isEmpty() const { return type_ == vbEmpty; }
    bool isText() const { return type_ == vbString; }
    bool isWholeIndex() const { return type_ == vbInteger || type_ == vbLong; }
    // Numbers and Booleans, and texts that read completely as a number.
    bool isNumeric() const;
    double toDouble() const;      // numbers, Booleans and numeric texts; 0 otherwise
    std::int64_t toInt64() const; // the stored integer, or the rounded number
    std::string toText() const;   // texts as they are, numbers in decimal, bytes one per character
    // The stored whole number; for Currency the value scaled by 10000.
    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&value_); }
    const Bytes* bytes() const { return std::get_if<Bytes>(&value_); }
    const std::string* text() const { return std::get_if<std::string>(&value_); }

    friend bool operator==(const Variant& a, const Variant& b) { return a.type_ == b.type_ && a.value_ == b.value_; }

private:
    using Storage = std::variant<std::monostate, std::int64_t, double, std::string, Bytes>;
    Variant(int type, Storage value) : type_(type), value_(std::move(value)) {}

    int type_ = vbEmpty;
    Storage value_;
};

} // namespace quadrantel::net
