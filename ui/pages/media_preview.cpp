#include "ui/pages/media_preview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#if ZT_HAVE_MULTIMEDIA
#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QVideoWidget>
#endif

namespace zt::ui {

void PreferFfmpegMediaBackend() {
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "ffmpeg");
}

QString PlayTimeText(qint64 ms) {
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    const qint64 hours = seconds / 3600;
    const auto two = [](qint64 value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    if (hours > 0) return QStringLiteral("%1:%2:%3").arg(hours).arg(two(seconds / 60 % 60), two(seconds % 60));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(two(seconds % 60));
}

struct MediaPreview::Player {
    QString source;
    QVBoxLayout* screen = nullptr;
    QPushButton* play = nullptr;
    QPushButton* stop = nullptr;
    QSlider* position = nullptr;
    QLabel* time = nullptr;
    qint64 lengthMs = 0;
#if ZT_HAVE_MULTIMEDIA
    QMediaPlayer* player = nullptr;
    QAudioOutput* audio = nullptr;
    QVideoWidget* video = nullptr;
#endif
};

MediaPreview::MediaPreview(QWidget* parent) : QWidget(parent), m_player(new Player) {
    setAccessibleName(QStringLiteral("Media player"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(2);
    m_player->screen = new QVBoxLayout;
    layout->addLayout(m_player->screen, 1);
    auto* bar = new QHBoxLayout;
    m_player->play = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay), QString(), this);
    m_player->play->setAccessibleName(QStringLiteral("Play"));
    m_player->play->setToolTip(QStringLiteral("Play"));
    m_player->stop = new QPushButton(style()->standardIcon(QStyle::SP_MediaStop), QString(), this);
    m_player->stop->setAccessibleName(QStringLiteral("Stop playing"));
    m_player->stop->setToolTip(QStringLiteral("Stop playing"));
    m_player->position = new QSlider(Qt::Horizontal, this);
    m_player->position->setAccessibleName(QStringLiteral("Position"));
    m_player->time = new QLabel(this);
    m_player->time->setAccessibleName(QStringLiteral("Position and length"));
    bar->addWidget(m_player->play);
    bar->addWidget(m_player->stop);
    bar->addWidget(m_player->position, 1);
    bar->addWidget(m_player->time);
    layout->addLayout(bar);
    ShowTime(0, 0);
    connect(m_player->stop, &QPushButton::clicked, this, &MediaPreview::Stop);
    connect(m_player->play, &QPushButton::clicked, this, &MediaPreview::PlayOrPause);
#if !ZT_HAVE_MULTIMEDIA
    auto* note = new QLabel(QStringLiteral("Sound and video cannot be played here."), this);
    note->setAlignment(Qt::AlignCenter);
    m_player->screen->addWidget(note);
    m_player->play->setEnabled(false);
    m_player->stop->setEnabled(false);
    m_player->position->setEnabled(false);
#endif
    hide();
}

bool MediaPreview::Backend() {
#if ZT_HAVE_MULTIMEDIA
    // Made on first use, so pages that only show pictures never load a media backend.
    if (m_player->player == nullptr) {
        m_player->player = new QMediaPlayer(this);
        // Without a sound device the player is given no audio output: this Qt
        // release's player fails on an output that has no device behind it.
        if (!QMediaDevices::audioOutputs().isEmpty()) {
            m_player->audio = new QAudioOutput(this);
            m_player->player->setAudioOutput(m_player->audio);
        }
        m_player->video = new QVideoWidget(this);
        m_player->video->setAccessibleName(QStringLiteral("Video"));
        m_player->player->setVideoOutput(m_player->video);
        m_player->screen->addWidget(m_player->video);
        QMediaPlayer* player = m_player->player;
        connect(player, &QMediaPlayer::durationChanged, this, [this](qint64 ms) {
            m_player->lengthMs = ms;
            m_player->position->setRange(0, static_cast<int>(ms / 100));
            ShowTime(m_player->player->position(), ms);
        });
        connect(player, &QMediaPlayer::positionChanged, this, [this](qint64 ms) {
            if (!m_player->position->isSliderDown()) m_player->position->setValue(static_cast<int>(ms / 100));
            ShowTime(ms, m_player->lengthMs);
        });
        connect(player, &QMediaPlayer::playbackStateChanged, this,
                [this](QMediaPlayer::PlaybackState state) { ShowPlaying(state == QMediaPlayer::PlayingState); });
        connect(m_player->position, &QSlider::sliderMoved, player,
                [player](int tenths) { player->setPosition(qint64{tenths} * 100); });
    }
    return m_player->player->isAvailable();
#else
    return false;
#endif
}

MediaPreview::~MediaPreview() {
#if ZT_HAVE_MULTIMEDIA
    // Its last signals reach the controls, which go before the player otherwise.
    if (m_player->player != nullptr) {
        m_player->player->disconnect(this);
        delete m_player->player;
    }
#endif
    delete m_player;
}

void MediaPreview::SetFull(bool full) {
    m_full = full;
    setVisible(full);
}

void MediaPreview::Close() {
    m_player->source.clear();
    m_player->lengthMs = 0;
    ShowTime(0, 0);
#if ZT_HAVE_MULTIMEDIA
    if (m_player->player == nullptr) return;
    m_player->player->stop();
    m_player->player->setSource(QUrl());
#endif
}

void MediaPreview::Play(const QString& path) {
    m_player->source = path;
#if ZT_HAVE_MULTIMEDIA
    if (!Backend()) return;
    m_player->player->setSource(QUrl::fromLocalFile(path));
    m_player->player->play();
#endif
}

void MediaPreview::Stop() {
#if ZT_HAVE_MULTIMEDIA
    if (m_player->player != nullptr) m_player->player->stop();
#endif
}

bool MediaPreview::Available() { return Backend(); }

void MediaPreview::PlayOrPause() {
#if ZT_HAVE_MULTIMEDIA
    if (!Backend()) return;
    if (Playing()) {
        m_player->player->pause();
    } else {
        m_player->player->play();
    }
#endif
}

QPushButton* MediaPreview::PlayButton() const { return m_player->play; }

QString MediaPreview::TimeText() const { return m_player->time->text(); }

void MediaPreview::ShowPlaying(bool playing) {
    const QString name = playing ? QStringLiteral("Pause") : QStringLiteral("Play");
    m_player->play->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    m_player->play->setAccessibleName(name);
    m_player->play->setToolTip(name);
}

void MediaPreview::ShowTime(qint64 positionMs, qint64 lengthMs) {
    m_player->time->setText(PlayTimeText(positionMs) + QStringLiteral(" / ") + PlayTimeText(lengthMs));
}

bool MediaPreview::Playing() const {
#if ZT_HAVE_MULTIMEDIA
    return m_player->player != nullptr && m_player->player->playbackState() == QMediaPlayer::PlayingState;
#else
    return false;
#endif
}

QString MediaPreview::Source() const { return m_player->source; }

}  // namespace zt::ui
