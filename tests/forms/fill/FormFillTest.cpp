// The stored JSON coding of a fill.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "forms/fill/FormFill.h"

using nlohmann::json;

TEST(FormFill, EncodesTheFourRequiredKeysAndOnlyThePresentOptionals) {
    FormFill fill{"datos.nombre", 2, {100, 700, 200, 20}, "Ana Pérez"};
    EXPECT_EQ(fill.toJSON(), json::parse(R"({"name": "datos.nombre", "pageIndex": 2,
        "rect": [[100, 700], [200, 20]], "text": "Ana Pérez"})"));
    EXPECT_EQ(fill.toJSON().size(), 4u);

    fill.drawn = true;
    fill.size = 10.5;
    fill.centered = false;
    EXPECT_EQ(fill.toJSON(), json::parse(R"({"name": "datos.nombre", "pageIndex": 2,
        "rect": [[100, 700], [200, 20]], "text": "Ana Pérez", "drawn": true, "size": 10.5,
        "centered": false})"));
    EXPECT_EQ(FormFill::fromJSON(fill.toJSON()), fill);
}

TEST(FormFill, DecodesOptionalsMissingOrNullAsAbsentAndIgnoresOtherKeys) {
    auto fill = FormFill::fromJSON(json::parse(R"({"text": "x", "rect": [[100, 700], [200, 20]],
        "pageIndex": 1.0, "name": "n", "drawn": null, "size": 9, "other": [1, 2]})"));
    EXPECT_EQ(fill.name, "n");
    EXPECT_EQ(fill.pageIndex, 1);
    EXPECT_EQ(fill.rect, (Rect{100, 700, 200, 20}));
    EXPECT_FALSE(fill.drawn);
    EXPECT_EQ(fill.size, 9.0);  // kept although the fill targets an existing field
    EXPECT_FALSE(fill.centered);
}

TEST(FormFill, RefusesMissingKeysAndWrongTypes) {
    const json good =
        json::parse(R"({"name": "n", "pageIndex": 0, "rect": [[1, 2], [3, 4]], "text": "t"})");
    auto refused = [&](const std::string& key, const json& value, bool remove = false) {
        json changed = good;
        if (remove)
            changed.erase(key);
        else
            changed[key] = value;
        try {
            FormFill::fromJSON(changed);
        } catch (const FormFill::DecodeError& error) {
            return std::string(error.what()).find(key) != std::string::npos;
        }
        return false;
    };
    EXPECT_TRUE(refused("text", nullptr, true));
    EXPECT_TRUE(refused("name", nullptr, true));
    EXPECT_TRUE(refused("text", nullptr));
    EXPECT_TRUE(refused("name", 3));
    EXPECT_TRUE(refused("pageIndex", 1.5));
    EXPECT_TRUE(refused("pageIndex", "1"));
    EXPECT_TRUE(refused("pageIndex", 1e19));
    EXPECT_TRUE(refused("rect", json::parse("[1, 2, 3, 4]")));
    EXPECT_TRUE(refused("rect", json::parse("[[1, 2], [3]]")));
    EXPECT_TRUE(refused("rect", json::parse(R"([[1, 2], [3, "4"]])")));
    EXPECT_TRUE(refused("drawn", 1));
    EXPECT_TRUE(refused("size", "10"));
    EXPECT_TRUE(refused("centered", "sí"));
    EXPECT_THROW(FormFill::fromJSON(json::array()), FormFill::DecodeError);
}

TEST(FormFill, AListIsAnArrayInOrder) {
    std::vector<FormFill> fills{{"a", 0, {1, 2, 3, 4}, "uno"},
                                {"tindra.texto", 1, {5, 6, 7, 8}, "dos", true, 12.0, std::nullopt}};
    json encoded = FormFill::toJSON(fills);
    ASSERT_TRUE(encoded.is_array());
    EXPECT_EQ(encoded[1]["name"], "tindra.texto");
    EXPECT_EQ(FormFill::listFromJSON(json::parse(encoded.dump())), fills);
    EXPECT_TRUE(FormFill::listFromJSON(json::array()).empty());
    EXPECT_THROW(FormFill::listFromJSON(json::object()), FormFill::DecodeError);
}
