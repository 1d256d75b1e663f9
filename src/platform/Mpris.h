#pragma once
// The player on the session bus as org.mpris.MediaPlayer2.mirvo, the way
// media keys, the desktops' media controls and playerctl reach players on
// both Wayland and X11. Commands go through the same key actions as global
// hot keys; every change of state is announced with PropertiesChanged.
#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include "app/Application.h"
#include "playback/Session.h"

namespace mirvo {

class MprisService;

class MprisRoot final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

  public:
    explicit MprisRoot(MprisService& service);
    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Mirvo"); }
    QString DesktopEntry() const { return QStringLiteral("mirvo"); }
    QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList SupportedMimeTypes() const;

  public slots:
    void Raise();
    void Quit();

  private:
    MprisService& service_;
};

class MprisPlayer final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanControl)
    Q_PROPERTY(bool CanGoPrevious READ CanControl)
    Q_PROPERTY(bool CanPlay READ CanControl)
    Q_PROPERTY(bool CanPause READ CanControl)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)

  public:
    explicit MprisPlayer(MprisService& service);
    QString PlaybackStatus() const;
    double Rate() const { return 1.0; }
    void SetRate(double) {}
    QVariantMap Metadata() const;
    double Volume() const;
    void SetVolume(double volume);
    qlonglong Position() const;
    bool CanSeek() const;
    bool CanControl() const { return true; }

  public slots:
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& track, qlonglong position);
    void OpenUri(const QString& uri);

  signals:
    void Seeked(qlonglong position);

  private:
    MprisService& service_;
};

class MprisService final : public QObject, public PlaybackListener {
    Q_OBJECT
  public:
    // What the service reaches besides the session: the window it raises, the
    // loop it leaves, the volume it reports and the events it follows.
    struct Reach {
        Reach(Player& player);
        MainView& view;
        EventLoop& loop;
        const EngineState& engine;
        PlaybackEvents& events;
    };
    MprisService(const Reach& reach, Session& session, Application& application);
    ~MprisService() override;

    // False when there is no session bus or the name is taken.
    bool Registered() const { return registered_; }

    // PlaybackListener
    void TrackAudible(const AudibleTrack& track) override;
    void StateChanged(PlayState state) override;
    void VolumeChanged(int volume) override;
    void PositionJumped(std::int64_t positionMs) override;
    void StationTitleChanged(const std::string& title) override;

  private:
    friend class MprisRoot;
    friend class MprisPlayer;

    void Announce(const QVariantMap& changed);
    std::int64_t PositionMs() const;
    bool Playing() const;

    Reach reach_;
    Session& session_;
    Application& application_;
    MprisPlayer* player_;
    QVariantMap metadata_;
    QDBusObjectPath track_{QStringLiteral("/org/mirvo/NoTrack")};
    int trackNumber_ = 0;
    // The audible track's, as the engine told it: seeks stay within it.
    std::int64_t lengthMs_ = 0;
    bool station_ = false;
    bool registered_ = false;
};

}  // namespace mirvo
