/* Drops files on an X window as a file manager does (the XDND protocol, version 5), for the
 * window smoke test: xdotool can move and click but not drag files.
 *   xdnddrop WINDOW X Y FILE...   (WINDOW: the X window id, X Y: root position of the drop)
 * Exit 0 when the window took the drop, 1 when it refused it or did not answer. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>

static Display* dpy;
static Window source, target;
static Atom aAware, aEnter, aPosition, aStatus, aDrop, aFinished, aLeave, aSelection, aCopy, aUriList;

static void sendmessage(Atom type, long l1, long l2, long l3, long l4) {
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.display = dpy;
    e.xclient.window = target;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)source;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    e.xclient.data.l[4] = l4;
    XSendEvent(dpy, target, False, NoEventMask, &e);
    XFlush(dpy);
}

static double now(void) {
    struct timeval t;
    gettimeofday(&t, NULL);
    return (double)t.tv_sec + (double)t.tv_usec / 1e6;
}

/* The next event for the source window within `seconds`; 0 when none came. */
static int nextevent(XEvent* e, double seconds) {
    const double until = now() + seconds;
    while (now() < until) {
        if (XPending(dpy)) {
            XNextEvent(dpy, e);
            return 1;
        }
        struct timeval pause = {0, 10000};
        select(0, NULL, NULL, NULL, &pause);
    }
    return 0;
}

/* The window the drop goes to: the one with XdndAware under the given window (SDL's own
 * window below the window manager's frame). */
static Window awarewindow(Window w) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    if (XGetWindowProperty(dpy, w, aAware, 0, 1, False, AnyPropertyType, &type, &format, &count, &after, &data) ==
            Success && data) {
        XFree(data);
        if (type != None) return w;
    }
    Window root, parent, *children = NULL;
    unsigned int n = 0;
    Window found = None;
    if (XQueryTree(dpy, w, &root, &parent, &children, &n)) {
        for (unsigned int i = 0; i < n && found == None; i++) found = awarewindow(children[i]);
        if (children) XFree(children);
    }
    return found;
}

int main(int argc, char** argv) {
    if (argc < 5) {
        fprintf(stderr, "usage: xdnddrop WINDOW X Y FILE...\n");
        return 2;
    }
    dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "xdnddrop: no display\n");
        return 2;
    }
    aAware = XInternAtom(dpy, "XdndAware", False);
    aEnter = XInternAtom(dpy, "XdndEnter", False);
    aPosition = XInternAtom(dpy, "XdndPosition", False);
    aStatus = XInternAtom(dpy, "XdndStatus", False);
    aDrop = XInternAtom(dpy, "XdndDrop", False);
    aFinished = XInternAtom(dpy, "XdndFinished", False);
    aLeave = XInternAtom(dpy, "XdndLeave", False);
    aSelection = XInternAtom(dpy, "XdndSelection", False);
    aCopy = XInternAtom(dpy, "XdndActionCopy", False);
    aUriList = XInternAtom(dpy, "text/uri-list", False);
    target = awarewindow((Window)strtoul(argv[1], NULL, 0));
    if (target == None) {
        fprintf(stderr, "xdnddrop: the window takes no drops\n");
        return 1;
    }
    const long x = atol(argv[2]), y = atol(argv[3]);
    /* The list the target asks for: file URIs, one a line, CR LF ended. */
    size_t size = 1;
    for (int i = 4; i < argc; i++) size += strlen(argv[i]) + 10;
    char* list = calloc(1, size);
    for (int i = 4; i < argc; i++) {
        strcat(list, "file://");
        strcat(list, argv[i]);
        strcat(list, "\r\n");
    }
    source = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), -10, -10, 1, 1, 0, 0, 0);
    XSetSelectionOwner(dpy, aSelection, source, CurrentTime);
    sendmessage(aEnter, 5L << 24, (long)aUriList, None, None);
    sendmessage(aPosition, 0, (x << 16) | y, CurrentTime, (long)aCopy);
    int accepted = -1, finished = 0;
    XEvent e;
    while (nextevent(&e, 5.0)) {
        if (e.type == ClientMessage && e.xclient.message_type == aStatus && accepted < 0) {
            accepted = (e.xclient.data.l[1] & 1) != 0;
            if (!accepted) break;
            sendmessage(aDrop, 0, CurrentTime, 0, 0);
        } else if (e.type == SelectionRequest) {
            /* The target reads the list. */
            XSelectionRequestEvent* r = &e.xselectionrequest;
            XEvent reply;
            memset(&reply, 0, sizeof reply);
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = r->requestor;
            reply.xselection.selection = r->selection;
            reply.xselection.target = r->target;
            reply.xselection.time = r->time;
            reply.xselection.property = None;
            if (r->target == aUriList) {
                XChangeProperty(dpy, r->requestor, r->property, r->target, 8, PropModeReplace,
                                (unsigned char*)list, (int)strlen(list));
                reply.xselection.property = r->property;
            }
            XSendEvent(dpy, r->requestor, False, NoEventMask, &reply);
            XFlush(dpy);
        } else if (e.type == ClientMessage && e.xclient.message_type == aFinished) {
            finished = 1;
            break;
        }
    }
    if (accepted != 1) {
        sendmessage(aLeave, 0, 0, 0, 0);
        fprintf(stderr, "xdnddrop: the window %s the drop\n", accepted == 0 ? "refused" : "did not answer");
    }
    free(list);
    XCloseDisplay(dpy);
    return accepted == 1 && finished ? 0 : 1;
}
