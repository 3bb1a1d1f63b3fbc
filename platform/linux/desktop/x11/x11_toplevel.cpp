/*
 * Which of the windows tracked are top-level, and their stacking order:
 * frames a manager puts around its clients, and helper windows no program
 * means to be seen, are not visited.
 */
#include <limits.h>
#include <stdlib.h>

#include "../../../winapi.h"
#include "x11.h"

/* A framed window is a client once the manager has put WM_STATE on it,
 * and already while the manager takes it in: then it sits in a root child
 * that is not a client, as frames are (override-redirect or not). */
static bool IsFramedClient(const X11Window *w, const X11Window *frame)
{
	if (w->state != X11StateNone)
		return true;
	return x11Managed && !w->embedded && frame != NULL && frame->state == X11StateNone;
}

/* Works out which framed windows are clients and which root children
 * are their frames, never visited. */
static void MarkFrames(void)
{
	for (int i = 0; i < x11Cache.count; i++)
		X11At(i)->holdsClient = false;
	for (int i = 0; i < x11Cache.count; i++) {
		X11Window *w = X11At(i);
		X11Window *frame = w->desk.id != 0 && w->framed ? X11FrameOf(w) : NULL;
		w->isClient = w->desk.id != 0 && w->framed && IsFramedClient(w, frame);
		if (w->isClient && frame != NULL)
			frame->holdsClient = true;
	}
}

/* Windows no program means to be seen. An InputOnly window can show
 * nothing, and some managers exit when asked to frame one. A toolkit's
 * client leader (ICCCM 5.1) only carries the program's session properties;
 * GTK and Qt make one per program, with its class or name, and never map
 * it. Its WM_HINTS are missing: the program's own windows all carry them. */
static bool IsHelper(const X11Window *w)
{
	if (w->inputOnly)
		return true;
	return w->ownLeader && !w->hasHints && !w->mapped && w->state == X11StateNone;
}

static bool IsTopLevel(const X11Window *w)
{
	if (w->desk.id == 0 || IsHelper(w))
		return false;
	return w->framed ? w->isClient : !w->holdsClient;
}

/* Where a window stands in the stacking order: its root child's place,
 * from the bottom; one that came after the order was last read is on top,
 * where X puts a window as it is mapped. */
static long PlaceOf(const X11Window *w)
{
	const X11Window *root = w->framed ? X11FrameOf(w) : w;

	if (root == NULL || root->stacked != x11Syncs)
		return LONG_MAX;
	return root->stack;
}

/* The top-level windows with their places, sorted in List. */
struct Placed {
	long place;
	int slot;
};
static Placed *placed;
static int placedCapacity;

static int TopFirst(const void *a, const void *b)
{
	const Placed *x = (const Placed *)a;
	const Placed *y = (const Placed *)b;

	if (x->place != y->place)
		return x->place > y->place ? -1 : 1;
	return x->slot > y->slot ? -1 : x->slot < y->slot;
}

int X11List(HWND *room, int size)
{
	int count = 0;
	Placed *grown = (Placed *)X11Grow(placed, &placedCapacity, x11Cache.count, sizeof *placed);

	MarkFrames();
	if (grown != NULL)
		placed = grown;
	for (int i = 0; i < x11Cache.count; i++) {
		if (!IsTopLevel(X11At(i)))
			continue;
		if (grown != NULL) {
			placed[count].place = PlaceOf(X11At(i));
			placed[count].slot = i;
		} else if (count < size) {
			room[count] = X11At(i)->desk.id;
		}
		count++;
	}
	if (grown == NULL)
		return count;
	qsort(placed, (size_t)count, sizeof *placed, TopFirst);
	for (int i = 0; i < count && i < size; i++)
		room[i] = X11At(placed[i].slot)->desk.id;
	return count;
}

X11Window *X11TopLevelOf(xcb_window_t id)
{
	X11Window *w = X11Find(id);

	MarkFrames();
	if (w == NULL)
		return NULL;
	if (IsTopLevel(w))
		return w;
	if (!w->holdsClient)
		return NULL;
	for (int i = 0; i < x11Cache.count; i++)
		if (X11At(i)->isClient && X11FrameOf(X11At(i)) == w)
			return X11At(i);
	return NULL;
}
