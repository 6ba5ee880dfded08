#include "jpeg/errors.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>

namespace jpeg {
namespace {

struct FixedMessageCase {
    const char* name;
    std::function<void()> raise;
    const char* message;
};

class FixedMessageTest : public testing::TestWithParam<FixedMessageCase> {};

// Every class of the family reaches the common handlers with its own words.
TEST_P(FixedMessageTest, WhatGivesTheMessageThroughEveryBase) {
    const FixedMessageCase& testCase = GetParam();
    try {
        testCase.raise();
        FAIL() << "nothing was thrown";
    } catch (const EGraphicsException& error) {
        EXPECT_STREQ(error.what(), testCase.message);
    }
    EXPECT_THROW(testCase.raise(), std::logic_error);
    EXPECT_THROW(testCase.raise(), std::exception);
}

INSTANTIATE_TEST_SUITE_P(
    Family, FixedMessageTest,
    testing::Values(
        FixedMessageCase{"ValueOutOfRange", [] { throw EJpegValueOutOfRange(); },
                         "Value out of range"},
        FixedMessageCase{"IndexOutOfRange", [] { throw EJpegIndexOutOfRange(); },
                         "Index out of range"},
        FixedMessageCase{"JpegAbort", [] { throw EJpegAbort(); }, "JPEG Aborted"},
        FixedMessageCase{"BmpFileReadError", [] { throw EBmpFileReadError(); },
                         "Error reading BMP input file"},
        FixedMessageCase{"BmpNotABmpFile", [] { throw EBmpNotABmpFile(); },
                         "Not a Windows Bitmap stream"},
        FixedMessageCase{"BmpCorruptFile", [] { throw EBmpCorruptFile(); },
                         "Corrupt Windows Bitmap stream"},
        FixedMessageCase{"BmpNotSupported", [] { throw EBmpNotSupported(); },
                         "Unsupported Bitmap Format"},
        FixedMessageCase{"InvalidBitCount", [] { throw EInvalidBitCount(); }, "Invalid bit count"},
        FixedMessageCase{"SubscriptOutOfRange", [] { throw ESubscriptOutOfRange(); },
                         "Subscript out of range"},
        FixedMessageCase{"JpegError", [] { throw EJpegError("Scan Index Out of Range"); },
                         "Scan Index Out of Range"},
        FixedMessageCase{"BadOutputParameter",
                         [] { throw EJpegBadOutputParameter("Data units in MCU exceeds 10"); },
                         "Data units in MCU exceeds 10"},
        FixedMessageCase{"JpegFatal",
                         [] { throw EJpegFatal("Internal Error - Invalid Bit Count"); },
                         "Internal Error - Invalid Bit Count"},
        FixedMessageCase{"Base", [] { throw EGraphicsException(std::string()); }, ""}),
    [](const testing::TestParamInfo<FixedMessageCase>& info) { return info.param.name; });

TEST(ErrorTreeTest, WriterSettingErrorsShareTheJpegErrorBase) {
    EXPECT_THROW(throw EJpegValueOutOfRange(), EJpegError);
    EXPECT_THROW(throw EJpegBadOutputParameter("x"), EJpegError);
    EXPECT_THROW(throw EJpegIndexOutOfRange(), EJpegError);
    static_assert(!std::is_base_of_v<EJpegError, EJpegFatal>);
    static_assert(!std::is_base_of_v<EJpegError, EJpegAbort>);
    static_assert(!std::is_base_of_v<EJpegError, EBmpCorruptFile>);
}

TEST(ErrorTreeTest, CopiesKeepTheMessage) {
    const EJpegFatal original("INTERNAL ERROR - Too many codes defined");
    EJpegFatal copy = original;
    EXPECT_STREQ(copy.what(), "INTERNAL ERROR - Too many codes defined");
    copy = EJpegFatal("other");
    EXPECT_STREQ(copy.what(), "other");
}

TEST(GraphicsAbortTest, PassesEveryHandlerButItsOwn) {
    static_assert(!std::is_convertible_v<EGraphicsAbort*, EGraphicsException*>);
    static_assert(!std::is_convertible_v<EGraphicsAbort*, std::exception*>);
    bool caughtByBase = false;
    bool caughtByOwnHandler = false;
    try {
        try {
            throw EGraphicsAbort();
        } catch (const EGraphicsException&) {
            caughtByBase = true;
        } catch (const std::logic_error&) {
            caughtByBase = true;
        } catch (const std::exception&) {
            caughtByBase = true;
        }
    } catch (const EGraphicsAbort& abort) {
        caughtByOwnHandler = true;
        EXPECT_STREQ(abort.what(), "Abort");
    }
    EXPECT_FALSE(caughtByBase);
    EXPECT_TRUE(caughtByOwnHandler);
}

} // namespace
} // namespace jpeg
