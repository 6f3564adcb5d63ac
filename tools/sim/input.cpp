#include "input.h"

using nlohmann::json;

const json& Field(const json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end())
        throw InputError(std::string("missing key \"") + key + "\"");
    return *it;
}

std::int64_t IntegerField(const json& object, const char* key, std::int64_t low, std::int64_t high)
{
    const json& value = Field(object, key);
    if (!value.is_number_integer())
        throw InputError(std::string("\"") + key + "\" must be an integer");
    const bool tooLarge = value.is_number_unsigned() && value.get<std::uint64_t>() > std::uint64_t(high);
    const std::int64_t number = tooLarge ? high : value.get<std::int64_t>();
    if (tooLarge || number < low || number > high)
        throw InputError(std::string("\"") + key + "\" must be from " + std::to_string(low) + " to " +
                         std::to_string(high));
    return number;
}

const std::string& StringField(const json& object, const char* key)
{
    const json& value = Field(object, key);
    if (!value.is_string())
        throw InputError(std::string("\"") + key + "\" must be a string");
    return value.get_ref<const std::string&>();
}
