#include "app/window/window_caption.h"

#include <QWidget>
#include <gtest/gtest.h>

using namespace oxtiva;

namespace
{

TCaptionNoticeTexts Notices(std::initializer_list<std::pair<TCaptionNotice, QString>> held)
{
    TCaptionNoticeTexts texts;
    for (const auto& [notice, text] : held)
        texts[static_cast<std::size_t>(notice)] = text;
    return texts;
}

TEST(ComposeCaption, ShowsTheTitleOnlyWhileNoNoticeHolds)
{
    EXPECT_EQ(ComposeCaption("Oxtiva", {}, {}), "Oxtiva");
    EXPECT_EQ(ComposeCaption("Oxtiva", Notices({{TCaptionNotice::SaveFailed, "Save failed"}}), {}),
              "Save failed");
}

TEST(ComposeCaption, ShowsEveryNoticeThatHoldsMostUrgentFirst)
{
    const auto notices = Notices({{TCaptionNotice::StepProgram, "Program ended"},
                                  {TCaptionNotice::InstrumentAlarm, "No readings"},
                                  {TCaptionNotice::SaveFailed, "Save failed"}});
    EXPECT_EQ(ComposeCaption("Oxtiva", notices, {}), "No readings | Save failed | Program ended");
}

TEST(ComposeCaption, ClosingReplacesEverything)
{
    const auto notices = Notices({{TCaptionNotice::InstrumentAlarm, "No readings"}});
    EXPECT_EQ(ComposeCaption("Oxtiva", notices, "Waiting"), "Waiting");
}

TEST(WindowCaption, NoticesOfOneConcernLeaveTheOthersInPlace)
{
    QWidget window;
    TWindowCaption caption(window, "Oxtiva");
    EXPECT_EQ(window.windowTitle(), "Oxtiva");
    caption.SetNotice(TCaptionNotice::SaveFailed, "Save failed");
    caption.SetNotice(TCaptionNotice::JournalFailed, "Journal failed");
    EXPECT_EQ(window.windowTitle(), "Journal failed | Save failed");
    caption.ClearNotice(TCaptionNotice::JournalFailed);
    EXPECT_EQ(window.windowTitle(), "Save failed");
    EXPECT_TRUE(caption.Holds(TCaptionNotice::SaveFailed));
    EXPECT_FALSE(caption.Holds(TCaptionNotice::JournalFailed));
    caption.SetClosing("Waiting for communication threads to close");
    caption.ClearNotice(TCaptionNotice::SaveFailed);
    EXPECT_EQ(window.windowTitle(), "Waiting for communication threads to close");
}

} // namespace
