// The main window's link cable: the link object on the machine, its sockets polled with the
// window's messages (between frames and inside the link's own waits, so every socket event
// runs on this thread), the "link" menu with its input boxes, the caption's link suffix and
// the message boxes of the link.
#include <imgui.h>

#include "frontend/gui/mainwindow.h"
#include "link/gblink.h"
#include "platform/asiosocket.h"
#include "platform/system.h"

namespace tov {

// What the link asks of the window.
class Tfgb::tlinkwindowhost : public tlinkhost {
public:
    explicit tlinkwindowhost(Tfgb& owner) : w(owner) {}
    // The window's messages, the sockets' events among them: the master's wait and the
    // activity ticks keep the window alive and see the peer's answer.
    void processmessages() override { w.processmessages(); }
    void messagebox(const std::string& text, const std::string& title) override {
        tov::messagebox(w.window, text, title);
    }
    void linkstatechanged() override { w.updatecaption(); }
    bool paused() override { return w.paused; }

private:
    Tfgb& w;
};

void Tfgb::setuplinkhooks() {
    linksockets = std::make_unique<tasiosockets>();
    linkhost = std::make_unique<tlinkwindowhost>(*this);
    link = std::make_unique<tgblink>(*machine, *linksockets, *linkhost);
    link->options.RemoteJoy = settings.working.RemoteJoy;
    session->attachlink(link.get());

    std::function<void()> otherwindows = hooks.drawwindows;
    hooks.drawwindows = [this, otherwindows] {
        if (otherwindows) otherwindows();
        drawlinkwindows();
    };
    hooks.menu.push_back({"link", "listen...", "", [this] { Listen1Click(); }, {}, {}});
    hooks.menu.push_back({"link", "connect...", "", [this] { Connect1Click(); }, {}, {}});
    hooks.menu.push_back({"link", "disconnect", "", [this] { Disconnect1Click(); }, {}, {}});
    hooks.menu.push_back({"link", "close port", "", [this] { closeport1Click(); }, {}, {}});
}

void Tfgb::Listen1Click() {
    linkpurpose = tlinkpurpose::listen;
    linkbox.open("Listen", "Accept incoming connection for game link, port", settings.working.LinkListenAddr);
}

void Tfgb::Connect1Click() {
    linkpurpose = tlinkpurpose::connect;
    linkbox.open("Connect", "Make an outgoing connection for game link - IP:port", settings.working.LinkConnectAddr);
}

void Tfgb::Disconnect1Click() {
    link->disconnect();
    updatecaption();
}

void Tfgb::closeport1Click() { link->closeport(); }

void Tfgb::drawlinkwindows() {
    if (linkbox.draw() != tinputbox::ok) return;
    const std::string text = linkbox.value();
    if (linkpurpose == tlinkpurpose::listen) {
        settings.working.LinkListenAddr = text;
        savesettings();
        link->listen(text);
        // Listening on every address is what lets a second computer in; the status line
        // says where, so that the user knows what to give the other side.
        if (link->islistening()) setstatus("listening on " + link->listeningon());
    } else {
        settings.working.LinkConnectAddr = text;
        savesettings();
        link->connect(text);
    }
}

tlinkstate Tfgb::linkstate() const {
    if (!link) return tlinkstate::none;
    if (link->islinked()) return tlinkstate::linked;
    if (link->islistening()) return tlinkstate::listening;
    if (link->isconnecting()) return tlinkstate::connecting;
    return tlinkstate::none;
}

}  // namespace tov
