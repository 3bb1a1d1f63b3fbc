/*
 * What wincue's GNOME Shell extension does, the same in both of its
 * variants (the build puts this between each variant's imports and its
 * entry point). GNOME Shell shows no outside program its windows and lets
 * none refuse a window its input; inside the shell, this serves both over
 * the session bus, as org.wincue.Shell:
 *
 *   - every window the shell manages (override-redirect ones left out) as
 *     a record (id, title, class, pid, minimized, maximized, disabled),
 *     listed page by page in the order of their ids, then each change as a
 *     signal: WindowAdded when the window is first shown (a Wayland window
 *     has no title before), WindowChanged, WindowClosed; ActiveChanged
 *     and Restacked tell the focus and the stacking order. The signals go
 *     only to the callers that asked for them (Register), each addressed
 *     to it alone, until its name leaves the bus: the shell keeps titles
 *     from other programs, and so does this;
 *   - minimizing, restoring, maximizing, activating and closing a window;
 *   - disabling a window: a transparent, reactive actor kept just above
 *     the window's swallows the pointer, and a disabled window given the
 *     focus hands it at once to the last focused window that takes input,
 *     else to none, within the same focus change: no click, scroll or key
 *     reaches it. It stays disabled until it is enabled or closes, also
 *     while the extension is turned off and on again (GNOME does that to
 *     every extension loaded after one the user turns off, and every
 *     extension at a screen lock); the shell forgets it when it ends.
 *
 * The calls that change a window carry the caller's deadline on the
 * monotonic clock, which the shell shares: one that comes later (the shell
 * was stopped meanwhile, and the caller has given it up) changes nothing.
 *
 * Only the session's own user may call it: the caller's uid is asked of
 * the bus once per connection.
 */
const BUS_NAME = 'org.wincue.Shell';
const OBJECT_PATH = '/org/wincue/Shell';
const INTERFACE_VERSION = 2;
const PAGE_SIZE = 256;
/* Code units of a title or class in a record: wincue compares at most 254
 * bytes of UTF-8, which never take more. */
const NAME_UNITS = 255;
const RECORD = '(tssibbb)';
const FRAME_WAIT_MS = 250;
const INTERFACE_XML = `<node><interface name="${BUS_NAME}">
<method name="GetVersion"><arg name="version" type="u" direction="out"/></method>
<method name="Register"/>
<method name="GetWindows"><arg name="after" type="t" direction="in"/>
 <arg name="windows" type="a${RECORD}" direction="out"/>
 <arg name="more" type="b" direction="out"/></method>
<method name="GetStacking"><arg name="bottomToTop" type="at" direction="out"/></method>
<method name="GetActive"><arg name="id" type="t" direction="out"/></method>
<method name="SetEnabled"><arg name="ids" type="at" direction="in"/>
 <arg name="enabled" type="b" direction="in"/>
 <arg name="deadline" type="x" direction="in"/>
 <arg name="foundWasEnabled" type="a(bb)" direction="out"/></method>
<method name="SetMinimized"><arg name="id" type="t" direction="in"/>
 <arg name="minimized" type="b" direction="in"/>
 <arg name="deadline" type="x" direction="in"/>
 <arg name="found" type="b" direction="out"/>
 <arg name="wasMinimized" type="b" direction="out"/></method>
<method name="SetMaximized"><arg name="id" type="t" direction="in"/>
 <arg name="maximized" type="b" direction="in"/>
 <arg name="deadline" type="x" direction="in"/>
 <arg name="found" type="b" direction="out"/>
 <arg name="wasMaximized" type="b" direction="out"/></method>
<method name="Activate"><arg name="id" type="t" direction="in"/>
 <arg name="deadline" type="x" direction="in"/>
 <arg name="found" type="b" direction="out"/></method>
<method name="Close"><arg name="id" type="t" direction="in"/>
 <arg name="deadline" type="x" direction="in"/>
 <arg name="found" type="b" direction="out"/></method>
<signal name="WindowAdded"><arg name="window" type="${RECORD}"/></signal>
<signal name="WindowChanged"><arg name="window" type="${RECORD}"/></signal>
<signal name="WindowClosed"><arg name="id" type="t"/></signal>
<signal name="ActiveChanged"><arg name="id" type="t"/></signal>
<signal name="Restacked"><arg name="bottomToTop" type="at"/></signal>
</interface></node>`;

/* Pointer crossings only tell, and must go on (Clutter insists). */
const CROSSINGS = [Clutter.EventType.ENTER, Clutter.EventType.LEAVE];

/* The ids of the disabled windows, kept for the shell's life. */
const disabledIds = new Set();

function cutName(text) {
    let end = NAME_UNITS;

    if (!text)
        return '';
    if (text.length <= end)
        return text;
    const unit = text.charCodeAt(end - 1);
    if (unit >= 0xd800 && unit <= 0xdbff)
        end--; /* never half a surrogate pair */
    return text.slice(0, end);
}

function isMaximized(window) {
    return window.maximized_horizontally && window.maximized_vertically;
}

/* A pending call on the bus as a promise of its reply's values. */
function busCall(connection, name, path, iface, method, args, type) {
    return new Promise((resolve, reject) => {
        connection.call(name, path, iface, method, args, new GLib.VariantType(type),
            Gio.DBusCallFlags.NONE, 5000, null, (c, result) => {
                try {
                    resolve(c.call_finish(result).deepUnpack());
                } catch (e) {
                    reject(e);
                }
            });
    });
}

var WincueDesk = class {
    /* The windows are tracked first, with no one to tell yet: a caller
     * registers only once the name is owned, after. */
    enable() {
        const display = global.display;

        this._bus = Gio.DBus.session;
        this._uid = new Gio.Credentials().get_unix_user();
        this._callers = new Map(); /* unique name: promise of its uid */
        this._listeners = new Set(); /* unique names that asked for the signals */
        this._frames = new Set(); /* the ends of the frame waits under way */
        this._windows = new Map(); /* id: {window, id, announced, handlers, shield} */
        this._displayHandlers = [
            display.connect('window-created', (d, window) => this._track(window, false)),
            display.connect('notify::focus-window', () => this._focusChanged()),
            display.connect('restacked', () => this._restacked()),
        ];
        for (const window of display.list_all_windows())
            this._track(window, true);
        for (const id of [...disabledIds]) {
            if (!this._windows.has(id))
                disabledIds.delete(id); /* closed while the extension was off */
        }
        this._callersGone = this._bus.signal_subscribe('org.freedesktop.DBus',
            'org.freedesktop.DBus', 'NameOwnerChanged', '/org/freedesktop/DBus', null,
            Gio.DBusSignalFlags.NONE, (c, sender, path, iface, signal, args) => {
                const [name, , owner] = args.deepUnpack();
                if (owner === '') {
                    this._callers.delete(name);
                    this._listeners.delete(name);
                }
            });
        this._object = Gio.DBusExportedObject.wrapJSObject(INTERFACE_XML, this);
        this._object.export(this._bus, OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(this._bus, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    /* Undoes all enable() made: the shell may enable a new one at once. The
     * marks stay (disabledIds), and the next enable() shields them again. */
    disable() {
        Gio.bus_unown_name(this._nameId);
        this._object.unexport();
        this._object = null;
        this._bus.signal_unsubscribe(this._callersGone);
        for (const handler of this._displayHandlers)
            global.display.disconnect(handler);
        for (const entry of this._windows.values())
            this._untrack(entry);
        this._windows.clear();
        for (const end of [...this._frames])
            end();
        this._callers.clear();
        this._listeners.clear();
    }

    /* -- the windows --------------------------------------------------- */

    _track(window, existing) {
        const id = window.get_id();

        if (window.is_override_redirect() || this._windows.has(id))
            return;
        const entry = {window, id, announced: false, handlers: [], shield: null};
        const on = (signal, handler) => entry.handlers.push(window.connect(signal, handler));
        this._windows.set(id, entry);
        on('unmanaged', () => this._forget(entry));
        for (const property of ['title', 'wm-class', 'minimized', 'maximized-horizontally',
            'maximized-vertically'])
            on(`notify::${property}`, () => this._changed(entry));
        if (existing)
            this._announce(entry);
        else
            on('shown', () => this._announce(entry));
    }

    _untrack(entry) {
        for (const handler of entry.handlers)
            entry.window.disconnect(handler);
        entry.handlers = [];
        this._unshield(entry);
    }

    _record(entry) {
        const window = entry.window;

        return [entry.id, cutName(window.get_title()), cutName(window.get_wm_class()),
            window.get_pid(), window.minimized, isMaximized(window), disabledIds.has(entry.id)];
    }

    /* To each caller that registered, addressed to it alone. */
    _emit(signal, type, value) {
        if (!this._object || this._listeners.size === 0)
            return;
        const values = new GLib.Variant(`(${type})`, [value]);
        for (const name of this._listeners) {
            try {
                this._bus.emit_signal(name, OBJECT_PATH, BUS_NAME, signal, values);
            } catch (e) {
                this._listeners.delete(name); /* the bus is closing */
            }
        }
    }

    _announce(entry) {
        if (entry.announced)
            return;
        entry.announced = true;
        if (disabledIds.has(entry.id))
            this._shield(entry);
        this._emit('WindowAdded', RECORD, this._record(entry));
    }

    _changed(entry) {
        if (entry.announced)
            this._emit('WindowChanged', RECORD, this._record(entry));
    }

    _forget(entry) {
        this._untrack(entry);
        this._windows.delete(entry.id);
        disabledIds.delete(entry.id);
        if (entry.announced)
            this._emit('WindowClosed', 't', entry.id);
    }

    _found(id) {
        const entry = this._windows.get(id);

        return entry && entry.announced ? entry : null;
    }

    /* -- refusing input ------------------------------------------------ */

    /* Just above the window's actor, its size and place, shown while the
     * window is: it takes every pointer event over the window. */
    _shield(entry) {
        const actor = entry.window.get_compositor_private();

        if (entry.shield || !actor)
            return;
        const shield = new St.Widget({reactive: true});
        shield.add_constraint(new Clutter.BindConstraint({
            source: actor, coordinate: Clutter.BindCoordinate.ALL,
        }));
        actor.bind_property('visible', shield, 'visible', GObject.BindingFlags.SYNC_CREATE);
        shield.connect('event', (actor_, event) => CROSSINGS.includes(event.type())
            ? Clutter.EVENT_PROPAGATE : Clutter.EVENT_STOP);
        global.window_group.add_child(shield);
        global.window_group.set_child_above_sibling(shield, actor);
        /* At once, not at the next frame: input picked before would meet
         * the window. */
        shield.allocate(actor.get_allocation_box());
        entry.shield = shield;
    }

    _unshield(entry) {
        if (entry.shield)
            entry.shield.destroy();
        entry.shield = null;
    }

    /* The shell stacks the windows' actors afresh, under the shields. */
    _restacked() {
        for (const entry of this._windows.values()) {
            const actor = entry.window.get_compositor_private();
            if (entry.shield && actor)
                global.window_group.set_child_above_sibling(entry.shield, actor);
        }
        if (this._listeners.size > 0)
            this._emit('Restacked', 'at', this._stacking());
    }

    _stacking() {
        const windows = [...this._windows.values()].filter(e => e.announced).map(e => e.window);

        return global.display.sort_windows_by_stacking(windows).map(w => w.get_id());
    }

    _takesInput(window) {
        return !window.minimized && !disabledIds.has(window.get_id());
    }

    /* A disabled window never keeps the focus: the last focused window
     * that takes input gets it back, else none has it. Done inside the
     * focus change, before any key can reach the window. */
    _focusChanged() {
        const focus = global.display.focus_window;
        const time = global.get_current_time();

        if (focus && disabledIds.has(focus.get_id())) {
            const workspace = global.workspace_manager.get_active_workspace();
            const next = global.display.get_tab_list(Meta.TabList.NORMAL, workspace)
                .find(w => w !== focus && this._takesInput(w));
            if (next)
                next.activate(time);
            else
                global.display.unset_input_focus(time);
            return;
        }
        this._emit('ActiveChanged', 't', focus ? focus.get_id() : 0);
    }

    /* Resolves once the stage has painted a frame, or after FRAME_WAIT_MS
     * when it paints none. */
    _nextFrame() {
        return new Promise(resolve => {
            let painted = 0, timer = 0;
            const end = () => {
                global.stage.disconnect(painted);
                if (timer)
                    GLib.source_remove(timer);
                this._frames.delete(end);
                resolve();
            };
            painted = global.stage.connect('after-paint', end);
            timer = GLib.timeout_add(GLib.PRIORITY_DEFAULT, FRAME_WAIT_MS, () => {
                timer = 0;
                end();
                return GLib.SOURCE_REMOVE;
            });
            this._frames.add(end);
            global.stage.queue_redraw();
        });
    }

    _setEnabled(entry, enabled) {
        const was = !disabledIds.has(entry.id);

        if (enabled === was)
            return was;
        if (enabled) {
            disabledIds.delete(entry.id);
            this._unshield(entry);
        } else {
            disabledIds.add(entry.id);
            this._shield(entry);
            if (global.display.focus_window === entry.window)
                global.display.unset_input_focus(global.get_current_time());
        }
        this._changed(entry);
        return was;
    }

    /* -- the callers --------------------------------------------------- */

    _callerUid(sender) {
        let uid = this._callers.get(sender);

        if (uid === undefined) {
            uid = busCall(this._bus, 'org.freedesktop.DBus', '/org/freedesktop/DBus',
                'org.freedesktop.DBus', 'GetConnectionUnixUser',
                new GLib.Variant('(s)', [sender]), '(u)').then(reply => reply[0], () => -1);
            this._callers.set(sender, uid);
        }
        return uid;
    }

    /* Answers the call with what answer() gives, [type, value] or its
     * promise, once the caller has proved to be the session's user, and
     * when the call has a deadline (microseconds on the monotonic clock),
     * before it. Calls of one caller are answered in order. */
    async _serve(invocation, answer, deadline = 0) {
        try {
            if (await this._callerUid(invocation.get_sender()) !== this._uid) {
                invocation.return_dbus_error('org.freedesktop.DBus.Error.AccessDenied',
                    'only the user of the session may call wincue\'s extension');
                return;
            }
            if (!this._object) {
                invocation.return_dbus_error('org.freedesktop.DBus.Error.ServiceUnknown',
                    'wincue\'s extension is turned off');
                return;
            }
            if (deadline !== 0 && GLib.get_monotonic_time() > deadline) {
                invocation.return_dbus_error('org.freedesktop.DBus.Error.Timeout',
                    'the call came after its deadline: nothing was done');
                return;
            }
            const [type, value] = await answer();
            invocation.return_value(new GLib.Variant(type, value));
        } catch (e) {
            invocation.return_dbus_error('org.freedesktop.DBus.Error.Failed', String(e));
        }
    }

    /* A command on one window: found, and what do(entry) returns. */
    _command(invocation, id, deadline, act) {
        this._serve(invocation, () => {
            const entry = this._found(id);
            return ['(bb)', entry ? [true, act(entry)] : [false, false]];
        }, deadline);
    }

    GetVersionAsync(params, invocation) {
        this._serve(invocation, () => ['(u)', [INTERFACE_VERSION]]);
    }

    /* The signals go to the caller from this answer on, until its name
     * leaves the bus: a caller that lists the windows after it misses
     * none. */
    RegisterAsync(params, invocation) {
        this._serve(invocation, () => {
            this._listeners.add(invocation.get_sender());
            return ['()', []];
        });
    }

    /* The windows with ids past after, at most a page of them in id
     * order, and whether more follow. */
    GetWindowsAsync([after], invocation) {
        this._serve(invocation, () => {
            const entries = [...this._windows.values()]
                .filter(e => e.announced && e.id > after).sort((a, b) => a.id - b.id);
            return [`(a${RECORD}b)`, [entries.slice(0, PAGE_SIZE).map(e => this._record(e)),
                entries.length > PAGE_SIZE]];
        });
    }

    GetStackingAsync(params, invocation) {
        this._serve(invocation, () => ['(at)', [this._stacking()]]);
    }

    GetActiveAsync(params, invocation) {
        this._serve(invocation, () => {
            const focus = global.display.focus_window;
            return ['(t)', [focus ? focus.get_id() : 0]];
        });
    }

    /* Every window of ids at once, each as found and whether it was
     * enabled. Answered once the shell has drawn a frame since: the input
     * the shell picks until then may miss a new shield, which the caller
     * must be able to count on once it has the answer. */
    SetEnabledAsync([ids, enabled, deadline], invocation) {
        this._serve(invocation, async () => {
            const results = ids.map(id => {
                const entry = this._found(id);
                return entry ? [true, this._setEnabled(entry, enabled)] : [false, false];
            });
            if (results.some(([found]) => found))
                await this._nextFrame();
            return ['(a(bb))', [results]];
        }, deadline);
    }

    SetMinimizedAsync([id, minimized, deadline], invocation) {
        this._command(invocation, id, deadline, entry => {
            const was = entry.window.minimized;
            if (minimized && !was)
                entry.window.minimize();
            else if (!minimized && was)
                entry.window.unminimize();
            return was;
        });
    }

    SetMaximizedAsync([id, maximized, deadline], invocation) {
        this._command(invocation, id, deadline, entry => {
            const was = isMaximized(entry.window);
            if (maximized && !was)
                entry.window.maximize(Meta.MaximizeFlags.BOTH);
            else if (!maximized && was)
                entry.window.unmaximize(Meta.MaximizeFlags.BOTH);
            return was;
        });
    }

    ActivateAsync([id, deadline], invocation) {
        this._serve(invocation, () => {
            const entry = this._found(id);
            if (entry)
                entry.window.activate(global.get_current_time());
            return ['(b)', [entry !== null]];
        }, deadline);
    }

    /* As the window's close button does: the program is asked to close. */
    CloseAsync([id, deadline], invocation) {
        this._serve(invocation, () => {
            const entry = this._found(id);
            if (entry)
                entry.window.delete(global.get_current_time());
            return ['(b)', [entry !== null]];
        }, deadline);
    }
};
