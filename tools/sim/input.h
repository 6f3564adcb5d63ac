#pragma once
// Reading the fields of one input line of the headless driver.

#include <cstdint>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

// Bad input; the message says what is wrong, without the line number.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

const nlohmann::json& Field(const nlohmann::json& object, const char* key);
// An integer field within [low, high].
std::int64_t IntegerField(const nlohmann::json& object, const char* key, std::int64_t low, std::int64_t high);
const std::string& StringField(const nlohmann::json& object, const char* key);
