import QtQuick 2.0
import org.kde.kwin 3.0 as KWinComponents

/* wincue's shield for one window (kwin_script.cpp says what it does): the
 * program writes the caller and uuid values for each window. */
Item {
    id: root
    readonly property string caller: ""
    readonly property string uuid: ""
    /* The module's workspace (KWin 6 gives declarative scripts no other),
     * with Plasma 6's names where it has them */
    readonly property QtObject ws: KWinComponents.Workspace
    property bool six: false
    property bool drawn: false
    property string outcome: ""
    property QtObject target: null
    property QtObject lastActive: null
    property var windows: []
    property bool skipped: false
    property QtObject shield: null

    /* Drawn on the current desktop and activity, as KWin picks windows. */
    function shown(w) {
        if (w.deleted || w.minimized || w.hidden)
            return false;
        if (!w.onAllDesktops && (six ? w.desktops.indexOf(ws.currentDesktop) < 0
                                     : w.desktop != ws.currentDesktop))
            return false;
        return w.activities.length == 0 || w.activities.indexOf(ws.currentActivity) >= 0;
    }
    function covers(w, p) {
        var g = w.frameGeometry;
        return p.x >= g.x && p.x < g.x + g.width && p.y >= g.y && p.y < g.y + g.height;
    }
    function isShield(w) {
        return String(w.caption).indexOf("wincue-shield ") == 0 && String(w.resourceClass) == "";
    }
    /* Whether the shield takes the pointer: the window is shown and no
     * window above it covers the pointer. Any doubt blocks. */
    function blocks() {
        try {
            var p = ws.cursorPos;
            if (target === null || !shown(target))
                return false;
            for (var i = 0; i < windows.length; i++) {
                var w = windows[i];
                if (w !== target && w.stackingOrder > target.stackingOrder && !isShield(w) &&
                    shown(w) && covers(w, p))
                    return false;
            }
        } catch (e) {
        }
        return true;
    }
    function activate(w) {
        if (six)
            ws.activeWindow = w;
        else
            ws.activeClient = w;
    }
    /* The focus leaves the window at once, inside KWin's activation; the
     * window active before gets it back a moment later, unless it went
     * meanwhile (activating a window KWin is closing crashes KWin 5). */
    function activated(w) {
        if (w === null || target === null)
            return;
        if (w !== target) {
            lastActive = w;
        } else {
            activate(null);
            Qt.callLater(giveBack);
        }
    }
    function giveBack() {
        var active = six ? ws.activeWindow : ws.activeClient;
        if (active === null && lastActive !== null && windows.indexOf(lastActive) >= 0 &&
            shown(lastActive))
            activate(lastActive);
    }
    function added(w) {
        windows = windows.concat([w]);
    }
    function removed(w) {
        windows = windows.filter(function (x) { return x !== w; });
        if (w === lastActive)
            lastActive = null;
        if (w === target)
            fail("gone");
    }

    /* Tells the program that loaded the shield what came of it. */
    function tell(what) {
        outcome = what;
        told.call();
    }
    function fail(what) {
        target = null;
        tell(what);
        unload.call();
    }

    KWinComponents.DBusCall {
        id: told
        service: root.caller
        path: "/org/wincue/KWin"
        dbusInterface: "org.wincue.KWin"
        method: "Shielded"
        arguments: [root.uuid, root.outcome]
    }
    KWinComponents.DBusCall {
        id: unload
        service: "org.kde.KWin"
        path: "/Scripting"
        dbusInterface: "org.kde.kwin.Scripting"
        method: "unloadScript"
        arguments: ["wincue-off-" + root.uuid]
    }
    Connections {
        target: root.ws
        ignoreUnknownSignals: true
        function onClientActivated(w) { root.activated(w) }
        function onWindowActivated(w) { root.activated(w) }
        function onClientAdded(w) { root.added(w) }
        function onWindowAdded(w) { root.added(w) }
        function onClientRemoved(w) { root.removed(w) }
        function onWindowRemoved(w) { root.removed(w) }
    }
    Component.onCompleted: {
        six = ws.windows !== undefined;
        var list = six ? ws.windows : ws.clients, all = [];
        for (var i = 0; i < list.length; i++) {
            all.push(list[i]);
            if (String(list[i].internalId) == uuid)
                target = list[i];
        }
        windows = all;
        try {
            if (target !== null)
                shield = Qt.createQmlObject(
                    'import QtQuick 2.0; import QtQuick.Window 2.0; Window {' +
                    ' property bool _q_showWithoutActivating: true;' +
                    ' property bool outputOnly: !root.blocks();' +
                    ' flags: Qt.FramelessWindowHint | Qt.WindowDoesNotAcceptFocus |' +
                    '     Qt.BypassWindowManagerHint;' +
                    ' color: "transparent"; title: "wincue-shield " + root.uuid;' +
                    ' x: root.target ? root.target.frameGeometry.x : 0;' +
                    ' y: root.target ? root.target.frameGeometry.y : 0;' +
                    ' width: root.target ? Math.max(1, root.target.frameGeometry.width) : 1;' +
                    ' height: root.target ? Math.max(1, root.target.frameGeometry.height) : 1;' +
                    ' visible: root.target !== null;' +
                    ' onFrameSwapped: if (!root.drawn) { root.drawn = true;' +
                    '     root.tell("shielded") }' +
                    ' MouseArea { anchors.fill: parent; acceptedButtons: Qt.AllButtons;' +
                    '     onWheel: function (wheel) { wheel.accepted = true } } }', root,
                    "shield");
        } catch (e) {
        }
        if (shield === null) {
            fail(target === null ? "gone" : "cannot");
            return;
        }
        skipped = target.skipSwitcher;
        target.skipSwitcher = true;
        if (target.active)
            activate(null);
        else
            lastActive = six ? ws.activeWindow : ws.activeClient;
    }
    Component.onDestruction: {
        if (target !== null)
            target.skipSwitcher = skipped;
        if (outcome == "")
            tell("gone"); /* unloaded before its first frame */
    }
}
