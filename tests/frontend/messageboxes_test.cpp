// Message boxes and questions: the answers of the desktop's boxes, and the window's own boxes
// when the desktop has none, answered from the window's nested loop.
#include <gtest/gtest.h>

#include "frontend/messageboxes.h"

namespace tov {
namespace {

TEST(MessageBoxes, ButtonsAndTheirAnswers) {
    struct tcase {
        tmsgbuttons buttons;
        std::vector<std::string> labels;
        std::vector<tmsgresult> results;
    };
    const tcase cases[] = {
        {tmsgbuttons::ok, {"OK"}, {tmsgresult::ok}},
        {tmsgbuttons::okcancel, {"OK", "Cancel"}, {tmsgresult::ok, tmsgresult::cancel}},
        {tmsgbuttons::yesno, {"Yes", "No"}, {tmsgresult::yes, tmsgresult::no}},
    };
    for (const tcase& c : cases) {
        const auto b = msgboxbuttons(c.buttons);
        ASSERT_EQ(b.size(), c.labels.size());
        for (size_t i = 0; i < b.size(); i++) {
            EXPECT_EQ(b[i].label, c.labels[i]);
            EXPECT_EQ(b[i].result, c.results[i]);
        }
        EXPECT_EQ(msgboxescape(c.buttons), c.results.back()) << "Esc never confirms";
    }
    EXPECT_EQ(msgboxbody("a\r\nb\rc\nd"), "a\nb\nc\nd");
}

// The desktop's box answers when it can; when it cannot, the window's box asks, and its
// answer (not a default) is the result.
TEST(MessageBoxes, WindowAsksWhenTheDesktopCannot) {
    const tmessagebox question{"header checksum wrong\r\nload anyway?", "loading rom succeeded with warnings",
                               tmsgbuttons::okcancel};
    auto none = [](const tmessagebox&) -> std::optional<int> { return std::nullopt; };
    tmessagebox seen;
    auto window = [&](const tmessagebox& b) {
        seen = b;
        return tmsgresult::ok;
    };
    EXPECT_EQ(showmessagebox(question, none, window), tmsgresult::ok) << "the user's OK, not the default";
    EXPECT_EQ(seen.text, question.text);
    EXPECT_EQ(seen.title, question.title);
    EXPECT_EQ(seen.buttons, question.buttons);
    EXPECT_EQ(showmessagebox(question, none, nullptr), tmsgresult::cancel) << "nobody to ask: Esc answer";

    bool asked = false;
    auto unused = [&](const tmessagebox&) {
        asked = true;
        return tmsgresult::ok;
    };
    const tmessagebox yesno{"disable?", "Warning", tmsgbuttons::yesno};
    EXPECT_EQ(showmessagebox(yesno, [](const tmessagebox&) { return std::optional<int>(0); }, unused),
              tmsgresult::yes);
    EXPECT_EQ(showmessagebox(yesno, [](const tmessagebox&) { return std::optional<int>(1); }, unused),
              tmsgresult::no);
    EXPECT_EQ(showmessagebox(yesno, [](const tmessagebox&) { return std::optional<int>(-1); }, unused),
              tmsgresult::no)
        << "closed without a button";
    EXPECT_FALSE(asked) << "the window asks only when the desktop cannot";
}

TEST(MessageBoxes, NestedLoopRunsUntilTheUserAnswers) {
    tmessageboxes boxes;
    int passes = 0;
    const tmsgresult r = askinwindow(boxes, {"disable?", "Warning", tmsgbuttons::yesno}, [&] {
        // The box stays up, drawn in every pass, until the third pass clicks "No".
        EXPECT_NE(boxes.shown(), nullptr);
        if (++passes == 3) boxes.answer(1);
        return true;
    });
    EXPECT_EQ(r, tmsgresult::no);
    EXPECT_EQ(passes, 3);
    EXPECT_TRUE(boxes.empty());
}

TEST(MessageBoxes, BoxAskedFromTheLoopOfAnotherIsAnsweredFirst) {
    tmessageboxes boxes;
    tmsgresult inner = tmsgresult::ok;
    int outerpasses = 0;
    const tmsgresult outer = askinwindow(boxes, {"first", "Warning", tmsgbuttons::yesno}, [&] {
        if (++outerpasses == 1) {
            inner = askinwindow(boxes, {"second", "loading rom succeeded with warnings", tmsgbuttons::okcancel},
                                [&] {
                                    EXPECT_EQ(boxes.shown()->text, "second") << "the newest box is on top";
                                    boxes.answer(0);
                                    return true;
                                });
            return true;
        }
        EXPECT_EQ(boxes.shown()->text, "first");
        boxes.answer(0);
        return true;
    });
    EXPECT_EQ(inner, tmsgresult::ok);
    EXPECT_EQ(outer, tmsgresult::yes);
    EXPECT_TRUE(boxes.empty());
}

TEST(MessageBoxes, EndingProgramGivesTheEscAnswer) {
    tmessageboxes boxes;
    EXPECT_EQ(askinwindow(boxes, {"load anyway?", "warning", tmsgbuttons::okcancel}, [] { return false; }),
              tmsgresult::cancel);
    EXPECT_TRUE(boxes.empty());
    // A button index out of range (a stale click) counts as Esc.
    const int id = boxes.push({"disable?", "Warning", tmsgbuttons::yesno});
    boxes.answer(7);
    EXPECT_EQ(boxes.take(id), tmsgresult::no);
    EXPECT_EQ(boxes.take(id), std::nullopt) << "an answer is taken once";
}

}  // namespace
}  // namespace tov
