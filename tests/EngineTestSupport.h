// A scripted front-end for the update engine, and packages built in memory, for the scenario
// tests that run whole updates on emulated PCs.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "engine/TaskQueue.h"
#include "engine/UpdateEngine.h"
#include "package/OptionNames.h"
#include "package/PackageBlock.h"
#include "platform/emulated/FirmwareImage.h"
#include "tools/pack/Packer.h"

namespace testing_support {

// Answers the engine's questions as told and records what it was shown.
class TestView : public engine::UpdateView {
  public:
    // Answers.
    uint8_t newerAnswer = 1;
    uint8_t confirmAnswer = 1;
    uint8_t ejectAnswer = 1;
    bool askAnswer = true;
    // Called for every message box (a person reacting to it, e.g. taking the disc out).
    std::function<void(engine::MessageKind, const std::string&)> onMessage;
    bool stopRequested = false;

    // What was shown, in order: "message:<kind>:<text>", "ask:<text>", "dialog:<name>".
    std::vector<std::string> shown;
    std::vector<std::string> statuses;
    std::string status, percent, oldRevision;
    engine::Colour colour = engine::Colour::Black;
    int position = 0, maximum = 0;
    bool updateEnabled = true, closeEnabled = true, timerRunning = false, terminated = false;
    int listChanges = 0;

    void ShowMessage(engine::MessageKind kind, const std::string& text,
                     const std::string&) override {
        static const char* kinds[] = {"warning", "information", "error"};
        shown.push_back(std::string("message:") + kinds[static_cast<int>(kind)] + ":" + text);
        if (onMessage) onMessage(kind, text);
    }
    bool Ask(const std::string& text, const std::string&, engine::AskButtons) override {
        shown.push_back("ask:" + text);
        return askAnswer;
    }
    void ShowNewerWarning(uint8_t* answer) override {
        shown.push_back("dialog:ShowMsg");
        *answer = newerAnswer;
    }
    void ShowMostUpdate() override { shown.push_back("dialog:MostUpdate"); }
    void ShowUpdateConfirm(uint8_t* answer, const std::string& oldRevision,
                           const std::string& newRevision) override {
        shown.push_back("dialog:UpdateCfm:" + oldRevision + "->" + newRevision);
        *answer = confirmAnswer;
    }
    void ShowEjectDisc(uint8_t* answer) override {
        shown.push_back("dialog:EjectDisc");
        *answer = ejectAnswer;
    }
    void ShowInvalidUser() override { shown.push_back("dialog:InvalidUser"); }
    void ShowNoProperDrive() override { shown.push_back("dialog:NoProperDrive"); }
    void ShowReboot() override { shown.push_back("dialog:Reboot"); }
    void ShowRebootZulk() override { shown.push_back("dialog:RebootZULK"); }
    void SetStatus(const std::string& text) override {
        status = text;
        statuses.push_back(text);
    }
    void SetStatusColour(engine::Colour c) override { colour = c; }
    void SetProgress(int p, int m) override {
        position = p;
        maximum = m;
    }
    void SetPercent(const std::string& text) override { percent = text; }
    void SetButtons(bool update, bool close) override {
        updateEnabled = update;
        closeEnabled = close;
    }
    void SetOldRevision(const std::string& text) override { oldRevision = text; }
    void SetTimerRunning(bool running) override { timerRunning = running; }
    void DriveListChanged() override { ++listChanges; }
    void Repaint() override {}
    void RequestTerminate() override { terminated = true; }
    bool StopRequested() override { return stopRequested; }
    bool restartHeld = false;
    bool RestartHeld() override {
        if (restartHeld) shown.push_back("restart held");
        return restartHeld;
    }

    void PostToUiThread(std::function<void()> task) override { tasks_.Post(std::move(task)); }

    // The user-interface loop: runs posted work until no worker of the engine is running.
    // `ticks` timer ticks are given while waiting (0 = none). Fails the test after a minute.
    void RunUntilIdle(engine::UpdateEngine& engine, int ticks = 0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!tasks_.Empty() || engine.Running() > 0) {
            auto task = tasks_.Next(deadline);
            if (!task) {
                ADD_FAILURE() << "the workers did not finish";
                return;
            }
            for (; ticks > 0 && timerRunning; --ticks)
                engine.TimerTick();
            task();
        }
    }

    bool Saw(const std::string& prefix) const {
        for (const auto& s : shown) {
            if (s.rfind(prefix, 0) == 0) return true;
        }
        return false;
    }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& s : shown)
            n += s.rfind(prefix, 0) == 0;
        return n;
    }

  private:
    engine::TaskQueue tasks_;
};

inline std::vector<uint8_t> KeyBytes(uint8_t seed) {
    std::vector<uint8_t> key(1024);
    uint32_t state = seed * 2654435761u + 7;
    for (auto& k : key) {
        state = state * 1664525u + 1013904223u;
        k = static_cast<uint8_t>(state >> 24);
    }
    return key;
}

// An image whose flashing gives the drive `revision`, for drives of QV10..QV19.
inline pack::ImageSpec Image(const std::string& revision, size_t size,
                             std::vector<pack::Constraint> constraints = {
                                 {"QV10", "QV19", "", ""}}) {
    pack::ImageSpec image;
    image.file = revision + ".bin";
    image.data = platform::emulated::MakeFirmwareImage(revision, revision + "-00", size);
    image.key = KeyBytes(static_cast<uint8_t>(size >> 10));
    image.newRevision = revision;
    image.constraints = std::move(constraints);
    return image;
}

// A package block in memory.
class TestPackage {
  public:
    explicit TestPackage(const std::string& options, std::vector<pack::ImageSpec> images)
        : block_(package::kBlockSize) {
        manifest.title = "Firmware Flasher - test";
        manifest.driveName = "DVD-RW QV-1600";
        manifest.options = options;
        manifest.images = std::move(images);
        pack::WritePackage(manifest, block_);
    }
    std::span<uint8_t> Block() { return block_; }
    const std::vector<uint8_t>& ImageData(int n) const { return manifest.images.at(n).data; }

    pack::Manifest manifest;

  private:
    std::vector<uint8_t> block_;
};

// The shipped options with some digits changed: {{digit, value}, ...} (digits count from 1).
inline std::string Options(std::initializer_list<std::pair<int, char>> changes,
                           std::string base = package::kShippedOptions) {
    for (auto [digit, value] : changes)
        base[static_cast<size_t>(digit - 1)] = value;
    return base;
}

}  // namespace testing_support
