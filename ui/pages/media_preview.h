// The sound and video preview: a player over the picture preview's place,
// with a Play button that turns into Pause while it plays, a stop button, a
// position bar and the position and length as text. Built without Qt
// Multimedia, or run where no media backend loads, it shows a note instead
// and plays nothing; it never fails the page.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QSlider;

namespace zt::ui {

class MediaPreview : public QWidget {
    Q_OBJECT
public:
    explicit MediaPreview(QWidget* parent = nullptr);
    ~MediaPreview() override;

    // "Full" shows the player with its controls; "Invisible" hides it.
    void SetFull(bool full);
    [[nodiscard]] bool IsFull() const { return m_full; }
    // Lets go of the file played (so a new preview can replace it).
    void Close();
    void Play(const QString& path);
    void Stop();

    // True when a backend is there to play anything (loads it on first use).
    [[nodiscard]] bool Available();
    [[nodiscard]] bool Playing() const;
    // The file last given to Play (empty after Close).
    [[nodiscard]] QString Source() const;
    // Play while stopped or paused, Pause while playing: the button's command.
    void PlayOrPause();
    [[nodiscard]] QPushButton* PlayButton() const;
    // "0:07 / 1:32": where the player is and how long the file plays.
    [[nodiscard]] QString TimeText() const;

private:
    // The player, made on first use; false when no backend can play.
    bool Backend();
    void ShowPlaying(bool playing);
    void ShowTime(qint64 positionMs, qint64 lengthMs);

    struct Player;
    Player* m_player;
    bool m_full = false;
};

// Picks the FFmpeg media backend unless the user chose one: the default
// backend of older Qt releases plays nothing without extra plug-ins. Call
// before the application object exists.
void PreferFfmpegMediaBackend();

// "m:ss", or "h:mm:ss" from an hour on.
[[nodiscard]] QString PlayTimeText(qint64 ms);

}  // namespace zt::ui
