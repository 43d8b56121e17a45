#include "common/JsonFields.h"

#include <cmath>
#include <cstdio>

namespace common {
namespace {
constexpr size_t kExcerptBytes = 60;

std::string Cut(std::string text) {
    if (text.size() <= kExcerptBytes) return text;
    size_t end = kExcerptBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text + "...";
}

std::string Plain(double d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", d);
    return text;
}
}  // namespace

nlohmann::json ParseJson(const std::string& text, const std::string& where) {
    using nlohmann::json;
    auto depthLimit = [](int depth, json::parse_event_t event, json&) {
        if ((event == json::parse_event_t::object_start ||
             event == json::parse_event_t::array_start) &&
            depth >= kMaxJsonDepth) {
            throw JsonError("nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
        }
        return true;
    };
    try {
        return json::parse(text, depthLimit);
    } catch (const json::exception& e) {  // a syntax error, or a number too large to hold
        throw JsonError(where + ": not valid JSON (" + e.what() + ")");
    } catch (const JsonError& e) {
        throw JsonError(where + ": " + e.what());
    }
}

std::string Excerpt(const nlohmann::json& value) {
    if (value.is_string()) return QuotedExcerpt(value.get_ref<const std::string&>());
    // Containers are cut before they are written out whole: a huge list costs nothing here.
    if (value.is_array() && value.size() > kExcerptBytes) {
        nlohmann::json head(value.begin(), value.begin() + kExcerptBytes);
        return Cut(head.dump());
    }
    return Cut(value.dump());
}

std::string QuotedExcerpt(std::string_view text) {
    return Cut("\"" + std::string(text) + "\"");
}

Fields::Fields(const nlohmann::json& object, std::string where)
    : object_(object), where_(std::move(where)) {
    if (!object_.is_object()) throw JsonError(where_ + ": expected an object");
}

bool Fields::Has(const std::string& key) const {
    return object_.contains(key);
}

const nlohmann::json* Fields::Take(const std::string& key) {
    taken_.insert(key);
    auto it = object_.find(key);
    return it == object_.end() ? nullptr : &*it;
}

const nlohmann::json* Fields::Raw(const std::string& key) {
    return Take(key);
}

void Fields::Fail(const std::string& key, const std::string& problem) const {
    throw JsonError(where_ + "." + key + ": " + problem);
}

bool Fields::Bool(const std::string& key, bool fallback) {
    const auto* v = Take(key);
    if (!v) return fallback;
    if (!v->is_boolean()) Fail(key, "expected true or false, found " + Excerpt(*v));
    return v->get<bool>();
}

double Fields::Number(const std::string& key, double fallback, double min, double max) {
    const auto* v = Take(key);
    if (!v) return fallback;
    if (!v->is_number()) Fail(key, "expected a number, found " + Excerpt(*v));
    double d = v->get<double>();
    if (!std::isfinite(d) || d < min || d > max) {
        Fail(key, "expected a number from " + Plain(min) + " to " + Plain(max) + ", found " +
                      Excerpt(*v));
    }
    return d;
}

int64_t Fields::Integer(const std::string& key, int64_t fallback, int64_t min, int64_t max) {
    const auto* v = Take(key);
    if (!v) return fallback;
    if (!v->is_number_integer()) Fail(key, "expected a whole number, found " + Excerpt(*v));
    int64_t n =
        v->is_number_unsigned() && v->get<uint64_t>() > INT64_MAX ? INT64_MAX : v->get<int64_t>();
    if (n < min || n > max) {
        Fail(key, "expected a whole number from " + std::to_string(min) + " to " +
                      std::to_string(max) + ", found " + Excerpt(*v));
    }
    return n;
}

std::string Fields::String(const std::string& key, const std::string& fallback) {
    const auto* v = Take(key);
    if (!v) return fallback;
    if (!v->is_string()) Fail(key, "expected a text, found " + Excerpt(*v));
    return v->get<std::string>();
}

std::optional<std::string> Fields::NullableString(const std::string& key,
                                                  const std::optional<std::string>& fallback) {
    const auto* v = Take(key);
    if (!v) return fallback;
    if (v->is_null()) return std::nullopt;
    if (!v->is_string()) Fail(key, "expected a text or null, found " + Excerpt(*v));
    return v->get<std::string>();
}

std::string Fields::Choice(const std::string& key, const std::string& fallback,
                           std::initializer_list<const char*> words) {
    std::string value = String(key, fallback);
    std::string list;
    for (const char* w : words) {
        if (value == w) return value;
        list += (list.empty() ? "\"" : ", \"") + std::string(w) + "\"";
    }
    Fail(key, "expected one of " + list + ", found " + QuotedExcerpt(value));
}

void Fields::Object(const std::string& key, const std::function<void(Fields&)>& read) {
    const auto* v = Take(key);
    if (!v) return;
    if (!v->is_object()) Fail(key, "expected an object, found " + Excerpt(*v));
    Fields inner(*v, where_ + "." + key);
    read(inner);
    inner.Finish();
}

void Fields::Array(const std::string& key, const std::function<void(Fields&, size_t)>& read) {
    const auto* v = Take(key);
    if (!v) return;
    if (!v->is_array()) Fail(key, "expected a list, found " + Excerpt(*v));
    for (size_t i = 0; i < v->size(); ++i) {
        const auto& element = (*v)[i];
        std::string where = where_ + "." + key + "[" + std::to_string(i) + "]";
        if (!element.is_object()) throw JsonError(where + ": expected an object");
        Fields inner(element, where);
        read(inner, i);
        inner.Finish();
    }
}

void Fields::Finish() const {
    for (const auto& [key, value] : object_.items()) {
        if (!taken_.count(key)) throw JsonError(where_ + "." + Cut(key) + ": unknown field");
    }
}

}  // namespace common
