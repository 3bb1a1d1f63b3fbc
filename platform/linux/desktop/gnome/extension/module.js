/*
 * wincue's GNOME Shell extension for GNOME Shell 45 and later, which load
 * an extension as an ES module.
 */
import Clutter from 'gi://Clutter';
import GLib from 'gi://GLib';
import GObject from 'gi://GObject';
import Gio from 'gi://Gio';
import Meta from 'gi://Meta';
import St from 'gi://St';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

/* wincue: the core */

export default class WincueExtension extends Extension {
    enable() {
        this._desk = new WincueDesk();
        this._desk.enable();
    }

    disable() {
        this._desk.disable();
        this._desk = null;
    }
}
