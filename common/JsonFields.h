// Reading JSON files (bench files, package manifests) with errors that name the file and the field.
//
// Every object is read through a Fields view: each key taken is remembered, and Finish() refuses
// keys nobody took, so a misspelt field is an error instead of being silently ignored.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace common {

class JsonError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// How deep the readers let arrays and objects nest. Ours nest a handful of levels; a deeper
// value could only exhaust the stack of whatever walks it.
inline constexpr int kMaxJsonDepth = 64;

// How many values (objects, lists, texts, numbers...) a JSON input may hold. Ours hold a few
// thousand; the limit keeps what a hostile file can make us allocate to tens of megabytes.
inline constexpr size_t kMaxJsonValues = 1'000'000;

// Parses a whole JSON text in one pass, in time linear in its size. Throws JsonError
// "<where>: not valid JSON (...)", "<where>: nested deeper than 64 levels",
// "<where>: more than 1000000 values", or "<where>.<path>: given twice" for a key that an object
// repeats (which would otherwise silently win over the first).
nlohmann::json ParseJson(std::string_view text, const std::string& where);

// What an error message quotes of a bad value: its JSON text, cut to a few dozen bytes (at a
// whole character) with "..." when longer.
std::string Excerpt(const nlohmann::json& value);
// The same for a text, in double quotes. Bytes that are not valid UTF-8, and control characters,
// appear escaped ("\xff", "\n"), so a message is always valid UTF-8 and one line.
std::string QuotedExcerpt(std::string_view text);
// The text itself, escaped the same way and cut to a few dozen bytes ("..." when longer).
std::string TextExcerpt(std::string_view text);

class Fields {
  public:
    // `where` is "bench.json: machine" and the like; messages read "<where>.<key>: <problem>".
    Fields(const nlohmann::json& object, std::string where);

    bool Has(const std::string& key) const;
    bool Bool(const std::string& key, bool fallback);
    double Number(const std::string& key, double fallback, double min, double max);
    int64_t Integer(const std::string& key, int64_t fallback, int64_t min, int64_t max);
    std::string String(const std::string& key, const std::string& fallback);
    // A string, or null for "absent" (a directory the system cannot report).
    std::optional<std::string> NullableString(const std::string& key,
                                              const std::optional<std::string>& fallback);
    // One of the given words.
    std::string Choice(const std::string& key, const std::string& fallback,
                       std::initializer_list<const char*> words);
    // A nested object; calls `read` with its Fields when present and finishes it.
    void Object(const std::string& key, const std::function<void(Fields&)>& read);
    // An array of objects; `read` gets each element's Fields and its index.
    void Array(const std::string& key, const std::function<void(Fields&, size_t)>& read);
    // A raw value for callers with their own rules (nullptr when absent).
    const nlohmann::json* Raw(const std::string& key);

    [[noreturn]] void Fail(const std::string& key, const std::string& problem) const;
    const std::string& Where() const { return where_; }
    void Finish() const;

  private:
    const nlohmann::json* Take(const std::string& key);

    const nlohmann::json& object_;
    std::string where_;
    std::set<std::string> taken_;
};

}  // namespace common
