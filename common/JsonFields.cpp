#include "common/JsonFields.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "common/Text.h"

namespace common {
namespace {
constexpr size_t kExcerptBytes = 60;

// `text` escaped for a message and cut to kExcerptBytes at a whole character, "..." when cut.
// Reads no more of `text` than it shows, so a megabyte costs what sixty bytes do.
std::string Cut(std::string_view text, size_t budget = kExcerptBytes) {
    std::string out;
    char escape[12];
    size_t at = 0;
    while (at < text.size()) {
        size_t took = 0;
        std::string_view piece = ShownCharacter(text.substr(at), took, escape);
        if (out.size() + piece.size() > budget) return out + "...";
        out += piece;
        at += took;
    }
    return out;
}

// The last few dozen bytes of `text`, escaped: where a parse went wrong is at the end of what it
// read.
std::string CutFromEnd(std::string_view text) {
    if (text.size() <= kExcerptBytes) return Cut(text);
    size_t start = text.size() - (kExcerptBytes - 10);
    while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        ++start;
    return "..." + Cut(text.substr(start));
}

std::string Plain(double d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", d);
    return text;
}

// Builds the document as nlohmann's own DOM parser does, in one pass, with our limits: a depth,
// a number of values, and no key twice in one object.
class DomBuilder {
  public:
    using json = nlohmann::json;
    explicit DomBuilder(const std::string& where) : where_(where) {}

    bool null() { return Value(nullptr); }
    bool boolean(bool v) { return Value(v); }
    bool number_integer(json::number_integer_t v) { return Value(v); }
    bool number_unsigned(json::number_unsigned_t v) { return Value(v); }
    bool number_float(json::number_float_t v, const std::string&) { return Value(v); }
    bool string(std::string& v) {
        // No text of ours holds a NUL; one would cut a name or a path short wherever it is passed
        // on as a C string, and make it mean something other than what was checked.
        if (v.find('\0') != std::string::npos)
            throw JsonError(PathOfNext() + ": holds a NUL character");
        return Value(std::move(v));
    }
    bool binary(json::binary_t& v) { return Value(std::move(v)); }
    bool start_object(size_t) { return Open(json::value_t::object); }
    bool start_array(size_t) { return Open(json::value_t::array); }
    bool end_object() { return Close(); }
    bool end_array() { return Close(); }
    bool key(std::string& k) {
        auto& object = open_.back();
        auto [it, fresh] = object.node->get_ref<json::object_t&>().try_emplace(k);
        object.key = &it->first;
        if (k.find('\0') != std::string::npos)
            throw JsonError(Path() + ": the name holds a NUL character");
        if (!fresh) throw JsonError(Path() + ": given twice");
        slot_ = &it->second;
        return true;
    }
    template <class Exception>
    bool parse_error(size_t, const std::string& lastRead, const Exception& error) {
        // nlohmann's message repeats the text it read last, which may be megabytes of raw
        // input: it is quoted cut and escaped like any other.
        std::string message = error.what();
        if (message.rfind("[json.exception.", 0) == 0 && message.find("] ") != std::string::npos)
            message.erase(0, message.find("] ") + 2);
        size_t at = lastRead.empty() ? std::string::npos : message.find("'" + lastRead + "'");
        if (at != std::string::npos)
            message.replace(at + 1, lastRead.size(), CutFromEnd(lastRead));
        else
            message = Cut(message, 4 * kExcerptBytes);
        throw JsonError(where_ + ": not valid JSON (" + message + ")");
    }

    json& Root() { return root_; }

  private:
    struct Level {
        json* node;
        const std::string* key = nullptr;  // of the member being read, in an object
    };

    template <class V>
    json* Place(V&& v) {
        if (++values_ > kMaxJsonValues)
            throw JsonError(where_ + ": more than " + std::to_string(kMaxJsonValues) + " values");
        if (open_.empty()) {
            root_ = json(std::forward<V>(v));
            return &root_;
        }
        json* parent = open_.back().node;
        if (parent->is_array()) {
            auto& list = parent->get_ref<json::array_t&>();
            list.emplace_back(std::forward<V>(v));
            return &list.back();
        }
        *slot_ = json(std::forward<V>(v));
        return slot_;
    }
    template <class V>
    bool Value(V&& v) {
        Place(std::forward<V>(v));
        return true;
    }
    bool Open(json::value_t kind) {
        if (open_.size() >= static_cast<size_t>(kMaxJsonDepth))
            throw JsonError(where_ + ": nested deeper than " + std::to_string(kMaxJsonDepth) +
                            " levels");
        open_.push_back({Place(kind)});
        return true;
    }
    bool Close() {
        open_.pop_back();
        return true;
    }
    // Where the member being read sits: "bench.json.drives[2].letter".
    std::string Path() const {
        std::string path = where_;
        for (const auto& level : open_) {
            if (level.key)
                path += "." + Cut(*level.key);
            else if (level.node->is_array() && !level.node->empty())
                path += "[" + std::to_string(level.node->size() - 1) + "]";
        }
        return path;
    }

    // Where the value about to be placed will sit: the member being read, or the next element.
    std::string PathOfNext() const {
        if (open_.empty() || !open_.back().node->is_array()) return Path();
        std::string path = where_;
        for (size_t i = 0; i + 1 < open_.size(); ++i) {
            if (open_[i].key)
                path += "." + Cut(*open_[i].key);
            else if (open_[i].node->is_array() && !open_[i].node->empty())
                path += "[" + std::to_string(open_[i].node->size() - 1) + "]";
        }
        return path + "[" + std::to_string(open_.back().node->size()) + "]";
    }

    const std::string& where_;
    json root_;
    std::vector<Level> open_;
    json* slot_ = nullptr;
    size_t values_ = 0;
};
}  // namespace

nlohmann::json ParseJson(std::string_view text, const std::string& where) {
    DomBuilder builder(where);
    nlohmann::json::sax_parse(text, &builder, nlohmann::json::input_format_t::json, true);
    return std::move(builder.Root());
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
    // Every byte shows as one byte or more, so twice the excerpt's length is enough to cut from.
    return Cut("\"" + std::string(text.substr(0, 2 * kExcerptBytes)) + "\"");
}

std::string TextExcerpt(std::string_view text) {
    return Cut(text);
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
