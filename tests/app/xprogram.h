// Talks to the X server the way a window manager and a screen grabber would,
// for tests that run the real program in a process of its own: finds its
// top-level window by title, asks it to close (WM_DELETE_WINDOW, as the
// title bar's close button does) and grabs the screen.
#pragma once

// Qt first: the X headers define names (Bool, Status) that Qt's refuse.
#include <QImage>
#include <QRect>
#include <QString>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

class tXProgram {
public:
    tXProgram() : mDisplay(XOpenDisplay(nullptr)) {}
    ~tXProgram() {
        if (mDisplay) XCloseDisplay(mDisplay);
    }
    tXProgram(const tXProgram &) = delete;
    tXProgram &operator=(const tXProgram &) = delete;

    bool isOpen() const { return mDisplay != nullptr; }

    // A mapped top-level window whose title is `title`; 0 when none.
    Window findMapped(const QString &title) {
        if (!mDisplay) return 0;
        XSync(mDisplay, False);
        Window root = DefaultRootWindow(mDisplay), parent = 0, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (!XQueryTree(mDisplay, root, &root, &parent, &children, &count)) return 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes attributes;
            if (!XGetWindowAttributes(mDisplay, children[i], &attributes) || attributes.map_state != IsViewable)
                continue;
            if (windowTitle(children[i]) == title) found = children[i];
        }
        if (children) XFree(children);
        return found;
    }

    QString windowTitle(Window w) {
        XTextProperty property;
        QString title;
        Atom utf8 = XInternAtom(mDisplay, "UTF8_STRING", False);
        Atom netName = XInternAtom(mDisplay, "_NET_WM_NAME", False);
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(mDisplay, w, netName, 0, 1024, False, utf8, &type, &format, &items, &after, &data) ==
                Success &&
            data) {
            title = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(items));
            XFree(data);
            return title;
        }
        if (XGetWMName(mDisplay, w, &property) && property.value) {
            title =
                QString::fromLatin1(reinterpret_cast<const char *>(property.value), static_cast<int>(property.nitems));
            XFree(property.value);
        }
        return title;
    }

    // What the close button of a window manager sends.
    void requestClose(Window w) {
        XEvent event;
        std::memset(&event, 0, sizeof event);
        event.xclient.type = ClientMessage;
        event.xclient.window = w;
        event.xclient.message_type = XInternAtom(mDisplay, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(mDisplay, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(mDisplay, w, False, NoEventMask, &event);
        XFlush(mDisplay);
    }

    // The window's rectangle on the screen.
    QRect geometry(Window w) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(mDisplay, w, &attributes)) return QRect();
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(mDisplay, w, DefaultRootWindow(mDisplay), 0, 0, &x, &y, &child);
        return QRect(x, y, attributes.width, attributes.height);
    }

    // The screen's pixels inside `area` (the whole screen when empty).
    QImage grab(QRect area = QRect()) {
        Window root = DefaultRootWindow(mDisplay);
        XWindowAttributes attributes;
        XGetWindowAttributes(mDisplay, root, &attributes);
        if (area.isEmpty()) area = QRect(0, 0, attributes.width, attributes.height);
        XImage *image = XGetImage(mDisplay, root, area.x(), area.y(), static_cast<unsigned>(area.width()),
                                  static_cast<unsigned>(area.height()), AllPlanes, ZPixmap);
        if (!image) return QImage();
        QImage out(area.width(), area.height(), QImage::Format_RGB32);
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x)
                out.setPixel(x, y, static_cast<QRgb>(XGetPixel(image, x, y)) | 0xff000000u);
        XDestroyImage(image);
        return out;
    }

private:
    Display *mDisplay;
};
