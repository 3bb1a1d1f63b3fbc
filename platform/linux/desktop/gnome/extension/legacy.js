/*
 * wincue's GNOME Shell extension for GNOME Shell 43 and 44, which load an
 * extension as a script with imports.gi and call its init().
 */
const {Clutter, GLib, GObject, Gio, Meta, St} = imports.gi;

/* wincue: the core */

class Extension {
    enable() {
        this._desk = new WincueDesk();
        this._desk.enable();
    }

    disable() {
        this._desk.disable();
        this._desk = null;
    }
}

/* exported init */
function init() {
    return new Extension();
}
