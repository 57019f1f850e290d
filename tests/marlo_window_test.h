// A running Marlo on a recording host: the canvas window and the palette made by StartMarlo,
// shown, the host's calls from the start forgotten, message boxes answered by answerYes and
// their texts collected in messages.
#pragma once
#include <gtest/gtest.h>

#include <QStringList>
#include <memory>

#include "test_support.h"

class Form1;
class Form2;

class MarloWindowTest : public ::testing::Test {
protected:
    // Starts Marlo on a w x h recording host; call it from SetUp. The brush of an earlier
    // session is forgotten unless keepBrush.
    void StartOn(int w, int h, bool keepBrush = false);
    void TearDown() override;

    std::shared_ptr<RecordingHost> host;
    Form1* window = nullptr;
    Form2* palette = nullptr;
    QStringList messages;
    bool answerYes = false;
};
