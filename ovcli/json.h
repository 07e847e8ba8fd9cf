#pragma once
// A minimal JSON writer for ovcli's --json output.

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace ovcli {

class Json {
public:
    Json& beginObject() { return open('{'); }
    Json& endObject() { return close('}'); }
    Json& beginArray() { return open('['); }
    Json& endArray() { return close(']'); }

    Json& key(std::string_view k) {
        comma();
        quote(k);
        out_ += ':';
        afterKey_ = true;
        return *this;
    }
    Json& value(std::string_view s) {
        comma();
        quote(s);
        return *this;
    }
    Json& value(const char* s) { return value(std::string_view(s)); }
    Json& value(const std::string& s) { return value(std::string_view(s)); }
    Json& value(bool b) {
        comma();
        out_ += b ? "true" : "false";
        return *this;
    }
    template <class T>
    requires std::is_integral_v<T> Json& value(T v) {
        comma();
        out_ += std::to_string(v);
        return *this;
    }
    Json& value(double v) {
        comma();
        if (!std::isfinite(v)) {
            out_ += "null";
        } else {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.9g", v);
            out_ += buf;
        }
        return *this;
    }
    Json& value(float v) { return value(double(v)); }
    template <class T>
    Json& field(std::string_view k, const T& v) {
        key(k);
        return value(v);
    }

    const std::string& str() const { return out_; }

private:
    Json& open(char c) {
        comma();
        out_ += c;
        first_.push_back(true);
        return *this;
    }
    Json& close(char c) {
        out_ += c;
        first_.pop_back();
        return *this;
    }
    void comma() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (first_.empty()) return;
        if (!first_.back()) out_ += ',';
        first_.back() = false;
    }
    void quote(std::string_view s) {
        out_ += '"';
        for (unsigned char c : s) {
            switch (c) {
                case '"':
                    out_ += "\\\"";
                    break;
                case '\\':
                    out_ += "\\\\";
                    break;
                case '\n':
                    out_ += "\\n";
                    break;
                case '\r':
                    out_ += "\\r";
                    break;
                case '\t':
                    out_ += "\\t";
                    break;
                default:
                    if (c < 0x20 || c >= 0x80) {  // bytes above 0x7F are Latin-1 characters
                        char buf[8];
                        std::snprintf(buf, sizeof buf, "\\u%04x", c);
                        out_ += buf;
                    } else {
                        out_ += char(c);
                    }
            }
        }
        out_ += '"';
    }

    std::string out_;
    std::vector<bool> first_;
    bool afterKey_ = false;
};

}  // namespace ovcli
