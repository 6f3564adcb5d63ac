#pragma once
// The game session's requests handed to the page's JavaScript (the object
// Module.front), which shows them on a canvas and answers through the
// module's exports.

#include <array>
#include <cstdint>
#include <vector>

#include "drawing/well_picture.h"
#include "game_session/front_end.h"
#include "storage/options_file.h"

class WebFrontEnd : public SessionFrontEnd {
public:
    void WakeLater() override;
    void StartTimer(SessionTimer timer, int milliseconds) override;
    void StopTimer(SessionTimer timer) override;
    void SetTimerInterval(SessionTimer timer, int milliseconds) override;
    void Show(unsigned parts) override;
    int PlaySound(const SessionSound& sound) override;
    void LanguageSwitched(Language language) override;
    void MakePictures(bool bevelled) override;
    void Ask(const SessionMessage& message) override;
    void ReportError(const std::string& text) override;
    void OpenUrl(const std::string& address) override;
    void Publish(const PublishJob& job) override;
    void ShowMenu(const MenuState& menu) override;
    void SetFullScreen(bool on) override;
    void Raise() override;
    void LookAway() override;
    void Close() override;
    void CloseLater() override;

    // The colours the pictures are made from (the session's options).
    const GameOptions* Colours = nullptr;
    // The cell pictures of codes 1..7, 31 x 31 each; none until first made.
    std::array<std::vector<std::uint32_t>, 8> Pictures;
    CellPictureViews PictureViews() const;

private:
    void BuildPictures(bool bevelled);
};
