// Library frame: error objects, messages, the library version and the
// bounded copy that all of them share.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pmr.h"

namespace {

TEST(ErrorObject, NonNegativeCodesGiveInvalidNumber) {
  EXPECT_EQ(pmr_object_error_code(pmr_error_object(0)), PMR_INVALID_NUMBER);
  EXPECT_EQ(pmr_object_error_code(pmr_error_object(5)), PMR_INVALID_NUMBER);
  EXPECT_EQ(pmr_error_object(0), pmr_error_object(-8));
}

TEST(ErrorObject, CodesMapBackAndLowCodesClampToMinus45) {
  for (int32_t code = -1; code >= -60; --code)
    EXPECT_EQ(pmr_object_error_code(pmr_error_object(code)), code);
  EXPECT_EQ(pmr_object_error_code(pmr_error_object(-61)), PMR_SUMMARIZER_UNKNOWN_ERROR);
  EXPECT_EQ(pmr_object_error_code(pmr_error_object(-1000)), PMR_SUMMARIZER_UNKNOWN_ERROR);
  EXPECT_EQ(pmr_object_error_code(pmr_error_object(INT32_MIN)), PMR_SUMMARIZER_UNKNOWN_ERROR);
}

TEST(ErrorObject, NullAndRealObjects) {
  int real = 0;
  EXPECT_EQ(pmr_object_error_code(nullptr), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_object_error_code(&real), 0);
  // The block's first byte (code 0) is taken for a real object too.
  const char* minus_one = static_cast<const char*>(pmr_error_object(-1));
  EXPECT_EQ(pmr_object_error_code(minus_one - 1), 0);
  EXPECT_EQ(pmrObjectErrorCode(pmrErrorObject(-3)), -3);
  EXPECT_EQ(pmrLexicalTransducerErrorCode(static_cast<pmr_fsm*>(pmr_error_object(-2))), -2);
}

std::string message(int32_t code) {
  char buffer[300];
  EXPECT_EQ(pmr_error_message(code, buffer, sizeof buffer), 0);
  return buffer;
}

TEST(ErrorMessage, TextsOfTheTable) {
  EXPECT_EQ(message(3), "No error occurred.");
  EXPECT_EQ(message(0), "No error occurred.");
  EXPECT_EQ(message(-7), "Unknown error code.");
  EXPECT_EQ(message(-9), "Unknown error code.");
  EXPECT_EQ(message(-30), "Unknown error code.");
  EXPECT_EQ(message(-43), "Unknown error code.");
  EXPECT_EQ(message(-51), "Unknown error code.");
  EXPECT_EQ(message(-2), "The file is of the wrong type, or is damaged.");
  EXPECT_EQ(message(-17),
            "The class guesser has failed to recognize a token in the input.  This most often "
            "results from illegal characters in the input.");
  EXPECT_EQ(message(-18),
            "An unrecognized class is returned by the class lexicon or class guesser.  This "
            "error message points to a defect in the class lexicon or class guesser.");
  EXPECT_EQ(message(-27),
            "The specified file loaded as client dictionary data contains an single-field "
            "entry before the first tag specification.");
  EXPECT_EQ(message(-28), "Instead of a valid object, a null pointer was passed to this function.");
  EXPECT_EQ(message(-44), "PMR_SOURCE_ERROR");
  EXPECT_EQ(message(-45), "Summarizer unknown error");
  EXPECT_EQ(message(-48), "Summarizer initialization failed");
  EXPECT_EQ(message(-50), "PMR_TOKENIZER_INIT_BUFFER_OVERFLOW");
  char buffer[300];
  EXPECT_EQ(pmrLexicalLibraryErrorMessage(-29, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "Input/output error.");
}

TEST(ErrorMessage, ArgumentChecks) {
  char buffer[100];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(pmr_error_message(-1, nullptr, 100), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_error_message(-1, buffer, -1), PMR_INVALID_NUMBER);
  EXPECT_EQ(buffer[0], 'x');
  // "Input/output error." is 19 bytes: 21 bytes fit it, 20 do not.
  EXPECT_EQ(pmr_error_message(-29, buffer, 21), 0);
  EXPECT_EQ(pmr_error_message(-29, buffer, 20), PMR_OUTPUT_TOO_LONG);
  EXPECT_STREQ(buffer, "Input/output error");
}

TEST(LibraryVersion, BoundedCopy) {
  char buffer[8];
  EXPECT_EQ(pmr_library_version(buffer, 5), 0);
  EXPECT_STREQ(buffer, "2.2");
  EXPECT_EQ(pmr_library_version(buffer, 4), PMR_OUTPUT_TOO_LONG);
  EXPECT_STREQ(buffer, "2.");
  EXPECT_EQ(pmr_library_version(buffer, 3), PMR_OUTPUT_TOO_LONG);
  EXPECT_STREQ(buffer, "2.");
  EXPECT_EQ(pmr_library_version(buffer, 1), PMR_OUTPUT_TOO_LONG);
  EXPECT_STREQ(buffer, "");
  buffer[0] = 'x';
  EXPECT_EQ(pmr_library_version(buffer, 0), PMR_OUTPUT_TOO_LONG);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(pmr_library_version(nullptr, 5), PMR_NULL_POINTER);
  EXPECT_EQ(pmr_library_version(buffer, -1), PMR_INVALID_NUMBER);
  EXPECT_EQ(pmrLexicalLibraryVersion(buffer, 8), 0);
  EXPECT_STREQ(buffer, "2.2");
}

TEST(LibrarySetUp, InitAndFreeDoNothing) {
  EXPECT_EQ(pmr_init_library(), 0);
  EXPECT_EQ(pmrInitLexicalLibrary(), 0);
  pmr_free_library();
  pmrFreeLexicalLibrary();
}

}  // namespace
