#pragma once
// The window's suites start from this: a shown main window whose file dialogs answer from a
// script. Shown, because the chart hands over raw points only once it has its real width.
#include <gtest/gtest.h>

#include <memory>

#include "support/gui_test_support.h"
#include "ui/upr_zagig.h"

namespace darvelon::test {

class ShownWindow : public ::testing::Test {
protected:
    void SetUp() override {
        auto d = std::make_unique<ScriptedDialogs>();
        dialogs = d.get();
        window = std::make_unique<ui::TfrmUprZagig>(std::move(d));
        window->show();
    }
    void TearDown() override { window.reset(); }

    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<ui::TfrmUprZagig> window;
};

}  // namespace darvelon::test
