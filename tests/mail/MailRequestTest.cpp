#include "mail/MailRequest.h"

#include <gtest/gtest.h>

using velorix::mail::AttachmentDisplayName;
using velorix::mail::TMailRequest;

TEST(MailRequest, LookupIgnoresCaseTakesFirstLineAndReadsEmptyAsAbsent) {
    const TMailRequest request({"Subject=first", "subject=second", "TO=a@b.example",
                                "body=", "body=late", "note", "x=y=z"});
    EXPECT_EQ(request.Value("subject"), "first");
    EXPECT_EQ(request.Value("SUBJECT"), "first");
    EXPECT_EQ(request.Value("to"), "a@b.example");
    // The first "body" line is empty: absent, although a later line has text.
    EXPECT_FALSE(request.Has("body"));
    EXPECT_EQ(request.Value("note"), "");
    EXPECT_EQ(request.Value("missing"), "");
    EXPECT_EQ(request.Value("x"), "y=z"); // the separator is the first "="
    EXPECT_EQ(request.Value("x=y"), "");
}

TEST(MailRequest, AttachmentsAreNumberedFromZeroWithoutGaps) {
    EXPECT_EQ(TMailRequest({"attachment0=a", "attachment2=c"}).Attachments(),
              std::vector<std::string>{"a"});
    EXPECT_TRUE(TMailRequest({"attachment1=b"}).Attachments().empty());
    EXPECT_EQ(TMailRequest({"ATTACHMENT1=b", "attachment0=a", "attachment1=x"}).Attachments(),
              (std::vector<std::string>{"a", "b"}));
    // An empty number ends the list even when later numbers exist.
    EXPECT_EQ(TMailRequest({"attachment0=a", "attachment1=", "attachment2=c"}).Attachments(),
              std::vector<std::string>{"a"});
    TMailRequest built;
    for (int i = 0; i < 12; ++i)
        built.Add("attachment" + std::to_string(i), "f" + std::to_string(i));
    ASSERT_EQ(built.Attachments().size(), 12u);
    EXPECT_EQ(built.Attachments()[10], "f10");
}

TEST(MailRequest, DisplayNameFollowsTheLastBackslashOrColon) {
    EXPECT_EQ(AttachmentDisplayName("C:\\Users\\Public\\Documents\\capture.pdf"), "capture.pdf");
    EXPECT_EQ(AttachmentDisplayName("D:capture.pdf"), "capture.pdf");
    EXPECT_EQ(AttachmentDisplayName("capture.pdf"), "capture.pdf");
    EXPECT_EQ(AttachmentDisplayName("a\\b:c"), "c");
    EXPECT_EQ(AttachmentDisplayName("dir\\"), "");
    // A forward slash is no separator for the mail client's display name.
    EXPECT_EQ(AttachmentDisplayName("/home/u/capture.pdf"), "/home/u/capture.pdf");
}
