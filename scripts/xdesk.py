"""An X11 display as the tests see it from outside, over python-xlib: what
the server says of a window, and windows of our own."""
from Xlib import X, Xatom, display, error
from Xlib.ext import shape, xtest

MASK = X.StructureNotifyMask | X.ButtonPressMask | X.KeyPressMask


class Desk:
    def __init__(self, name=None):
        self.d = display.Display(name)
        self.root = self.d.screen().root

    def close(self):
        self.d.close()

    def atom(self, name):
        return self.d.intern_atom(name)

    def window(self, wid):
        return self.d.create_resource_object("window", int(wid))

    def make_window(self, cls, title=None, mapped=True, at=(10, 10, 200, 150), hints=True,
                    take_focus=False, region=None):
        """A top-level window: WM_CLASS ("testwindows", cls), its title in
        _NET_WM_NAME and WM_NAME, placed where asked (a position of the user's
        own, which managers keep)."""
        w = self.root.create_window(*at, 0, X.CopyFromParent, background_pixel=
                                    self.d.screen().white_pixel, event_mask=MASK)
        w.set_wm_class("testwindows", cls)
        w.set_wm_normal_hints(flags=1 | 2, x=at[0], y=at[1], width=at[2], height=at[3])
        if hints:
            w.set_wm_hints(flags=1, input=1)
        if take_focus:
            w.set_wm_protocols([self.atom("WM_DELETE_WINDOW"), self.atom("WM_TAKE_FOCUS")])
        if region:
            w.shape_rectangles(shape.SO.Set, shape.SK.Input, X.Unsorted, 0, 0, [region])
        if title is not None:
            self.set_title(w, title)
        if mapped:
            w.map()
        self.d.sync()
        return w.id

    def set_title(self, w, title):
        data = title.encode("latin-1")
        w.change_property(self.atom("_NET_WM_NAME"), self.atom("UTF8_STRING"), 8, data)
        w.change_property(Xatom.WM_NAME, Xatom.STRING, 8, data)

    def destroy(self, wid):
        self.window(wid).destroy()
        self.d.sync()

    def _ask(self, fn, default=None):
        try:
            return fn()
        except (error.BadWindow, error.BadDrawable, error.BadMatch):
            return default

    def prop(self, wid, name, type_=X.AnyPropertyType):
        p = self._ask(lambda: self.window(wid).get_full_property(self.atom(name), type_))
        return p.value if p is not None else None

    def wm_state(self, wid):
        """1 Normal, 3 Iconic, 0 Withdrawn, None without WM_STATE."""
        v = self.prop(wid, "WM_STATE")
        return v[0] if v is not None and len(v) else None

    def map_state(self, wid):
        a = self._ask(lambda: self.window(wid).get_attributes())
        return a.map_state if a else None

    def parent(self, wid):
        t = self._ask(lambda: self.window(wid).query_tree())
        return t.parent.id if t else None

    def shields(self, wid):
        """The window's children that swallow the clicks and keys landing on
        it: mapped, InputOnly, stopping button and key events."""
        swallowed = X.ButtonPressMask | X.KeyPressMask
        t = self._ask(lambda: self.window(wid).query_tree())
        found = []
        for c in t.children if t else []:
            a = self._ask(c.get_attributes)
            if a and a.win_class == X.InputOnly and a.map_state != X.IsUnmapped and \
                    a.do_not_propagate_mask & swallowed == swallowed:
                found.append(c.id)
        return found

    def is_shown(self, wid, managed):
        return self.map_state(wid) == X.IsViewable and (not managed or self.wm_state(wid) == 1)

    def is_hidden(self, wid):
        return self.map_state(wid) == X.IsUnmapped and self.wm_state(wid) in (None, 0)

    def center(self, wid):
        g = self.window(wid).get_geometry()
        c = self.window(wid).translate_coords(self.root, 0, 0)
        return -c.x + g.width // 2, -c.y + g.height // 2

    def click(self, x, y):
        """A real click (XTEST); done once the server has it."""
        xtest.fake_input(self.d, X.MotionNotify, x=x, y=y)
        xtest.fake_input(self.d, X.ButtonPress, 1)
        xtest.fake_input(self.d, X.ButtonRelease, 1)
        self.d.sync()

    def has_focus(self, wid):
        """Whether the focus is on the window or inside it."""
        w = self.d.get_input_focus().focus
        if w == X.PointerRoot or w == self.root:  # the keys go where the pointer is
            w = below = self.root
            while not isinstance(below, int):
                w, pointer = below, self._ask(below.query_pointer)
                below = pointer.child if pointer else 0
        while not isinstance(w, int) and w.id not in (0, self.root.id):
            if w.id == wid:
                return True
            t = self._ask(w.query_tree)
            w = t.parent if t else self.root
        return False

    def clients(self, cls):
        """Windows anywhere below the root whose WM_CLASS class is cls."""
        found, todo = [], [self.root]
        while todo:
            w = todo.pop()
            c = self._ask(w.get_wm_class)
            if c and c[1] == cls:
                found.append(w.id)
            t = self._ask(w.query_tree)
            todo += t.children if t else []
        return found
