// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/address_decoding.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace pixhaul::test {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

struct DecodingCase {
  std::string in;
  std::string out;
};

TEST(DecodeHtmlReferences, DecodesReferencesAndLeavesEverythingElse) {
  const std::vector<DecodingCase> cases = {
      {"https://h/a.jpg?w=1&amp;h=2", "https://h/a.jpg?w=1&h=2"},
      {"&quot;&#39;&#x2F;&#X2f;&#47;&lt;&gt;&apos;", "\"'///<>'"},
      {"&nbsp;&sol;&colon;&equals;&quest;&num;&percnt;", "\xC2\xA0/:=?#%"},
      {"&AMP;&QUOT;", "&\""},
      // Decoded once: a reference to an ampersand does not start another.
      {"&amp;amp;&amp;lt;", "&amp;&lt;"},
      // Without a closing ";", unknown, or misspelt: kept as written.
      {"a&amp b&copy=2&unknown;&#;&#x;&#12a;&Amp;&", "a&amp b&copy=2&unknown;&#;&#x;&#12a;&Amp;&"},
      {"&&amp;&", "&&&"},
      // Numeric references of every size, written as UTF-8; invalid ones give U+FFFD.
      {"&#233;&#x20AC;&#x1F600;", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"&#0;&#xD800;&#x110000;&#99999999999999999999;",
       kReplacement + kReplacement + kReplacement + kReplacement},
      {"", ""},
      {"no references", "no references"},
  };
  for (const DecodingCase& c : cases) {
    EXPECT_EQ(DecodeHtmlReferences(c.in), c.out) << "[" << c.in << "]";
  }
}

TEST(DecodeJsonEscapes, DecodesEscapesAndLeavesMalformedOnesAsWritten) {
  const std::vector<DecodingCase> cases = {
      {R"x(https:\/\/h\/f.jpg?x\u003d1\u0026y\u003d2)x", "https://h/f.jpg?x=1&y=2"},
      {R"x(a\\b\"c\/d)x", R"x(a\b"c/d)x"},
      {R"x(\b\f\n\r\t)x", "\b\f\n\r\t"},
      {R"x(\u00e9\u20AC)x", "\xC3\xA9\xE2\x82\xAC"},
      // A surrogate pair is one character; a lone or reversed half is U+FFFD.
      {R"x(\ud83d\ude00)x", "\xF0\x9F\x98\x80"},
      {R"x(\ud83dx)x", kReplacement + "x"},
      {R"x(\ude00\ud83d)x", kReplacement + kReplacement},
      {R"x(\ud83d\u0041)x", kReplacement + "A"},
      // Malformed: kept as written.
      {R"x(\x\u12\u12G4\)x", R"x(\x\u12\u12G4\)x"},
      {R"x(\\u0041)x", R"x(\u0041)x"},
      {"", ""},
  };
  for (const DecodingCase& c : cases) {
    EXPECT_EQ(DecodeJsonEscapes(c.in), c.out) << "[" << c.in << "]";
  }
}

TEST(DecodeBaiduCipher, TokensFirstThenEveryByteByTheTable) {
  const std::vector<DecodingCase> cases = {
      {"ippr_z2C$qAzdH3FAzdH3F", "http://"},
      // The whole table, in the order of the bytes it gives.
      {"wkv1ju2it3hs4g5rq6fp7eo8dn9cm0bla", "abcdefghijklmnopqrstuvw1234567890"},
      // All three tokens, side by side and among mapped bytes.
      {"ipprf_z2C$qAzdH3FAzdH3Fooo_z&e3Bxxx_z&e3Bv54AzdH3Fr7b_z&e3Bkg",
       "https://www.xxx.com/pu8.bn"},
      {"AzdH3FAzdH3F_z2C$q_z2C$q_z&e3B", "//::."},
      // Bytes outside the table stay: x y z, capitals, punctuation, bytes above 127.
      {"xyzXYZ-%~?=&Ã©", "xyzXYZ-%~?=&Ã©"},
      // A token cut short is no token: its bytes are mapped one by one.
      {"_z2C$AzdH3_z&e3", "_zgC$Az2Hj_z&vj"},
      // Already an address, in any letter case: kept as it stands.
      {"http://h/wkv1.jpg", "http://h/wkv1.jpg"},
      {"HTTPS://h/_z2C$q", "HTTPS://h/_z2C$q"},
      {"http:/h", "kiit:/k"},
      {"", ""},
  };
  for (const DecodingCase& c : cases) {
    EXPECT_EQ(DecodeBaiduCipher(c.in), c.out) << "[" << c.in << "]";
  }
}

TEST(AddressDecoding, NamesParseInAnyCaseAndOthersAreRefused) {
  const std::pair<const char*, AddressDecoding> names[] = {
      {"none", AddressDecoding::kNone},
      {"HTML", AddressDecoding::kHtml},
      {"Json", AddressDecoding::kJson},
      {"BAIDU", AddressDecoding::kBaidu},
  };
  for (const auto& [name, decoding] : names)
    EXPECT_EQ(ParseAddressDecoding(name), decoding) << name;
  for (const char* bad : {"", "xml", "html ", "jsonp", "0"}) {
    EXPECT_FALSE(ParseAddressDecoding(bad).has_value()) << bad;
  }
  for (AddressDecoding d : {AddressDecoding::kNone, AddressDecoding::kHtml, AddressDecoding::kJson,
                            AddressDecoding::kBaidu}) {
    EXPECT_EQ(ParseAddressDecoding(AddressDecodingName(d)), d);
  }
}

// A rule's decoding applies one decoder, or for Baidu the JSON escapes first and then the
// cipher, so an escaped plain address is kept.
TEST(DecodeAddress, AppliesTheDecodingOfItsRule) {
  const struct {
    AddressDecoding decoding;
    std::string in;
    std::string out;
  } rows[] = {
      {AddressDecoding::kNone, R"x(&amp;\/)x", R"x(&amp;\/)x"},
      {AddressDecoding::kHtml, R"x(&amp;\/)x", R"x(&\/)x"},
      {AddressDecoding::kJson, R"x(&amp;\/)x", "&amp;/"},
      {AddressDecoding::kBaidu, R"x(http:\/\/h\/wkv.jpg)x", "http://h/wkv.jpg"},
      {AddressDecoding::kBaidu, R"x(ippr_z2C$q\/\/h_z&e3Bjpg)x", "http://k.etn"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(DecodeAddress(row.decoding, row.in), row.out)
        << AddressDecodingName(row.decoding) << " [" << row.in << "]";
    std::string reused = "left over from another address";
    DecodeAddress(row.decoding, row.in, reused);
    EXPECT_EQ(reused, row.out) << AddressDecodingName(row.decoding) << " [" << row.in << "]";
  }
}

}  // namespace
}  // namespace pixhaul::test
