#pragma once
// ovcli's --json output: a value built a piece at a time, in the order the fields
// are given, and written by the JSON library (escaping, numbers, UTF-8).

#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace ovcli {

// Text for a JSON string. Names read from the game's files are single bytes in the
// game's Western code page: text that is not valid UTF-8 is read as Latin-1.
// Valid UTF-8 (paths typed by the user) is kept as it is.
std::string jsonText(std::string_view bytes);

class Json {
public:
    using Value = nlohmann::ordered_json;

    Json& beginObject() { return open(Value::object()); }
    Json& endObject() { return close(); }
    Json& beginArray() { return open(Value::array()); }
    Json& endArray() { return close(); }

    Json& key(std::string_view k) {
        key_ = jsonText(k);
        return *this;
    }
    Json& value(std::string_view s) { return put(jsonText(s)); }
    Json& value(const char* s) { return value(std::string_view(s)); }
    Json& value(const std::string& s) { return value(std::string_view(s)); }
    Json& value(bool b) { return put(b); }
    Json& value(std::nullptr_t) { return put(nullptr); }
    template <class T>
    requires std::is_integral_v<T> Json& value(T v) { return put(v); }
    // Not-a-number and infinities are written as null.
    Json& value(double v) { return put(v); }
    // The shortest decimal that reads back as the same float, not the digits of
    // its double widening (0.1, not 0.10000000149011612).
    Json& value(float v) {
        char buf[32];
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf - 1, v);
        if (ec != std::errc()) return put(double(v));
        *end = '\0';
        return put(std::strtod(buf, nullptr));
    }
    template <class T>
    Json& field(std::string_view k, const T& v) {
        key(k);
        return value(v);
    }

    std::string str() const {
        return root_.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    }

private:
    Value& place(Value v) {
        if (open_.empty()) {
            root_ = std::move(v);
            return root_;
        }
        Value& top = *open_.back();
        if (top.is_array()) {
            top.push_back(std::move(v));
            return top.back();
        }
        return top[key_] = std::move(v);
    }
    template <class T>
    Json& put(T v) {
        place(Value(std::move(v)));
        return *this;
    }
    // An open array or object lives in its parent, which takes nothing else until
    // it is closed, so the pointer to it stays valid.
    Json& open(Value v) {
        open_.push_back(&place(std::move(v)));
        return *this;
    }
    Json& close() {
        open_.pop_back();
        return *this;
    }

    Value root_;
    std::vector<Value*> open_;
    std::string key_;
};

// Writes the finished document as the one line of standard output.
void printJson(const Json& j);

// The "backup" member of a write's document: where the first state of the changed
// file is kept, and whether this run made it (false: it was there already, and a
// first state is never overwritten).
void jsonBackup(Json& j, const std::string& path, bool made);

}  // namespace ovcli
