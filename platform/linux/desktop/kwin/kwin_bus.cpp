/*
 * The session bus connection, the script's calls and the cache of windows
 * they keep. Only KWin's own connection may tell the program of windows:
 * calls from any other are refused.
 */
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include "../bus.h"
#include "kwin.h"

static const char objectPath[] = "/org/wincue/KWin";
static const char interfaceName[] = "org.wincue.KWin";

uint64_t kwinChanges;

static char scriptName[300];   /* wincue- and the bus name without its colon */
static char scriptFile[4096];  /* the script's text until KWin has read it */
static uint64_t listBy;        /* when the script must have listed the windows */
static bool ready;             /* it has */
static bool saidLate;          /* it had not by then, and a line said so */
static int batchNumber;        /* the last batch the script told */
static sd_bus_message *held;   /* the script's newest Next call, unanswered */
static const char *uniqueName; /* the program's own bus name */
static int applied;            /* the last command the script says it did */
static int sent;               /* the last command sent */

/* -- bounds ------------------------------------------------------------ */

/* When a wait must end: at limit, or at the pass's deadline (KWinStepMs
 * for all its waits together, never past the step's timer) when that
 * comes first. */
static uint64_t WaitEnd(uint64_t limit)
{
	uint64_t end = PassDeadline();

	return limit < end ? limit : end;
}

/* -- the script's calls ------------------------------------------------ */

static const BusObject scripting = {"org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting"};
static const BusObject kwinItself = {"org.kde.KWin", "/KWin", "org.kde.KWin"};
/* KWin owns org.kde.KWin: our script goes with it. A call it let run out
 * ends the pass's waits on it, so a stopped KWin or bus holds a step once,
 * not once a window. */
static BusLink kwin = {"lost KWin on the session bus", &kwinChanges, &kwinCache, PassGiveUp};

static int Refuse(sd_bus_error *error)
{
	return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "only KWin tells of windows");
}

/* KWin has read the script's file once the script calls. */
static void ForgetScriptFile(void)
{
	if (scriptFile[0] != '\0')
		unlink(scriptFile);
	scriptFile[0] = '\0';
}

/* A batch: its number, the last command done, whether every window has
 * been told, and a line for each window. A batch older than one applied
 * (a copy sent again) is left alone; one told again is applied again. */
static int Tell(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	const char *text;
	int number, done, all;

	(void)unused;
	if (!BusFromPeer(&kwin, m))
		return Refuse(error);
	ForgetScriptFile();
	if (sd_bus_message_read(m, "iibs", &number, &done, &all, &text) >= 0 &&
	    number >= batchNumber) {
		batchNumber = number;
		KWinApplyLines(text);
		if (done > applied)
			applied = done;
		KWinRemoveShieldFiles(applied);
		ready = ready || all;
		kwinChanges++;
	}
	return sd_bus_reply_method_return(m, NULL);
}

/* The commands not yet done go as the answer to the script's call. */
static void SendOrders(void)
{
	sd_bus_reply_method_return(held, "si", KWinOrders(), sent);
	held = sd_bus_message_unref(held);
}

/* Held until commands go as its answer; an older one held is let go. When
 * commands sent are not done, the script lost them: they go again (the
 * script does a command of one number once). */
static int Next(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	(void)unused;
	if (!BusFromPeer(&kwin, m))
		return Refuse(error);
	if (held != NULL) {
		sd_bus_reply_method_return(held, "si", "", 0);
		sd_bus_message_unref(held);
	}
	held = sd_bus_message_ref(m);
	if (applied < sent && KWinOrders()[0] != '\0')
		SendOrders();
	return 1;
}

/* A shield's call, or the script's for it: the window's id and what came
 * of it (shielded, held, gone or cannot). */
static int Shielded(sd_bus_message *m, void *unused, sd_bus_error *error)
{
	const char *uuid, *outcome;

	(void)unused;
	if (!BusFromPeer(&kwin, m))
		return Refuse(error);
	if (sd_bus_message_read(m, "ss", &uuid, &outcome) >= 0)
		KWinShieldCalled(uuid, strcmp(outcome, "cannot") == 0);
	return sd_bus_reply_method_return(m, NULL);
}

static const sd_bus_vtable vtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Tell", "iibs", "", Tell, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Next", "", "si", Next, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Shielded", "ss", "", Shielded, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

/* -- the connection ---------------------------------------------------- */

bool KWinAlive(void)
{
	return BusAlive(&kwin);
}

void KWinDrain(void)
{
	BusDrain(&kwin);
}

int KWinDescriptor(void)
{
	return BusFd(&kwin);
}

/* Handles messages until done holds or the clock reaches end, and no
 * message past the one that made it hold: what the script told then is
 * what a step reads back, not what another run did since (the next
 * update hears the rest). */
static bool AwaitCondition(bool (*done)(void), uint64_t end)
{
	for (;;) {
		while (!done() && KWinAlive() && sd_bus_process(kwin.bus, NULL) > 0)
			;
		if (done() || !KWinAlive())
			return done();
		uint64_t now = NowMs();
		if (now >= end) {
			PassGiveUp(); /* as a call let run out */
			return false;
		}
		sd_bus_wait(kwin.bus, (end - now) * 1000);
	}
}

static bool IsReady(void)
{
	return ready;
}

static bool IsHeld(void)
{
	return held != NULL;
}

/* The commands are done, and every shield they made holds its window. */
static bool IsApplied(void)
{
	return applied >= sent && KWinShieldsCalled();
}

void KWinAwaitList(void)
{
	if (ready || saidLate)
		return;
	AwaitCondition(IsReady, WaitEnd(listBy));
	if (!ready && NowMs() >= listBy && KWinAlive()) {
		fputs("wincue: KWin's script did not list the windows in time\n", stderr);
		saidLate = true;
	}
}

static bool AskedIsLoaded(const char *name, bool *loaded);

const char *KWinCaller(void)
{
	return uniqueName;
}

bool KWinDisabled(KWinWindow *w)
{
	char name[KWinIdSize + 16];
	bool loaded = false;

	if (!AskOncePerPass(&w->askedIn))
		return w->disabled;
	snprintf(name, sizeof name, "wincue-off-%s", w->uuid);
	w->disabled = AskedIsLoaded(name, &loaded) && loaded;
	return w->disabled;
}

bool KWinCarryOut(void)
{
	uint64_t end = WaitEnd(NowMs() + KWinCommandMs);
	bool done;

	if (KWinOrders()[0] == '\0')
		return true;
	sent++;
	kwinChanges++; /* the cache no longer holds */
	if (AwaitCondition(IsHeld, end))
		SendOrders();
	done = AwaitCondition(IsApplied, end);
	KWinOrdersSent(sent, !done && KWinAlive());
	KWinRemoveShieldFiles(KWinAlive() ? applied : INT_MAX);
	return done;
}

/* Asks KWin whether a script of that name is loaded; false when it did
 * not answer within KWinCallMs. */
static bool AskedIsLoaded(const char *name, bool *loaded)
{
	sd_bus_message *reply = NULL;
	int value = 0;
	bool answered = kwin.bus != NULL && !kwin.lost &&
	                BusCall(&kwin, &scripting, "isScriptLoaded", WaitEnd(NowMs() + KWinCallMs),
	                        NULL, &reply, "s", name) >= 0 &&
	                sd_bus_message_read(reply, "b", &value) >= 0;

	sd_bus_message_unref(reply);
	*loaded = value != 0;
	return answered;
}

/* A flag KWin gives as a boolean or a number (its maximize bits). */
static bool ReadFlag(sd_bus_message *m, int *flag)
{
	const char *type;
	char kind;
	uint32_t number = 0;

	if (sd_bus_message_peek_type(m, &kind, &type) <= 0 || kind != 'v' || type == NULL ||
	    (strcmp(type, "b") != 0 && strcmp(type, "i") != 0 && strcmp(type, "u") != 0))
		return false;
	if (sd_bus_message_read(m, "v", type, &number) < 0)
		return false;
	*flag = number != 0;
	return true;
}

bool KWinMaximized(KWinWindow *w)
{
	sd_bus_message *reply = NULL;
	const char *key;
	int horizontal = 0, vertical = 0;

	if (!AskOncePerPass(&w->statesIn))
		return w->maximized;
	if (kwin.bus != NULL && !kwin.lost &&
	    BusCall(&kwin, &kwinItself, "getWindowInfo", WaitEnd(NowMs() + KWinCallMs), NULL,
	            &reply, "s", w->uuid) >= 0 &&
	    sd_bus_message_enter_container(reply, 'a', "{sv}") > 0) {
		while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
			int *flag = NULL;
			if (sd_bus_message_read(reply, "s", &key) < 0)
				break;
			if (strcmp(key, "maximizeHorizontal") == 0)
				flag = &horizontal;
			else if (strcmp(key, "maximizeVertical") == 0)
				flag = &vertical;
			if (flag == NULL || !ReadFlag(reply, flag))
				sd_bus_message_skip(reply, "v");
			sd_bus_message_exit_container(reply);
		}
	}
	sd_bus_message_unref(reply);
	w->maximized = horizontal && vertical;
	return w->maximized;
}

/* Has KWin unload the script, waiting KWinExitMs at most: a bus that
 * answers nothing holds no exit. A script not unloaded so unloads itself
 * once the program's name goes. */
static void UnloadScript(void)
{
	ForgetScriptFile();
	KWinRemoveShieldFiles(INT_MAX);
	if (kwin.bus != NULL && !kwin.lost)
		BusCall(&kwin, &scripting, "unloadScript", NowMs() + KWinExitMs, NULL, NULL, "s",
		        scriptName);
}

/* Loads the script under a name of the program's unique bus name, which
 * no other connection to the bus has had or will have (process ids repeat
 * across PID namespaces), and has KWin start it. A script of that name
 * already loaded was left by a run that had the name on an earlier bus,
 * and so has gone: it is unloaded first. KWin names a
 * script's D-Bus object by how many scripts it holds, so after an unload
 * a new script may get the object of one still loaded, and "run" there
 * would run that one: "start" runs every loaded script not yet running,
 * ours among them (it also reads KWin's configuration again). */
static bool LoadScript(uint64_t end)
{
	const char *caller;
	sd_bus_message *reply = NULL;
	int id = -1;

	if (sd_bus_get_unique_name(kwin.bus, &caller) < 0 || caller[0] != ':' ||
	    snprintf(scriptName, sizeof scriptName, "wincue-%s", caller + 1) >=
	        (int)sizeof scriptName ||
	    !KWinWriteScript(caller, scriptName, scriptFile, sizeof scriptFile)) {
		scriptFile[0] = '\0';
		return false;
	}
	if (BusCall(&kwin, &scripting, "unloadScript", end, NULL, NULL, "s", scriptName) >= 0 &&
	    BusCall(&kwin, &scripting, "loadScript", end, NULL, &reply, "ss", scriptFile,
	            scriptName) >= 0)
		sd_bus_message_read(reply, "i", &id);
	sd_bus_message_unref(reply);
	uniqueName = caller;
	if (id >= 0 && BusCall(&kwin, &scripting, "start", end, NULL, NULL, NULL) >= 0)
		return true;
	ForgetScriptFile();
	return false;
}

/* KWin's unique name, when it owns org.kde.KWin and has /Scripting. */
static bool FindKWin(uint64_t end)
{
	return BusOwner(&kwin, "org.kde.KWin", kwin.peer, sizeof kwin.peer, end) &&
	       BusCall(&kwin, &scripting, "isScriptLoaded", end, NULL, NULL, "s", "wincue") >= 0;
}

bool KWinConnect(void)
{
	uint64_t now = NowMs();
	uint64_t end = WaitEnd(now + KWinListMs);
	uint64_t callEnd = now + KWinCallMs < end ? now + KWinCallMs : end;

	listBy = now + KWinListMs;
	if (!BusOpen(&kwin, "org.kde.KWin", callEnd))
		return false;
	if (!FindKWin(callEnd) ||
	    sd_bus_add_object_vtable(kwin.bus, NULL, objectPath, interfaceName, vtable, NULL) < 0)
		return BusClose(&kwin);
	if (!LoadScript(end)) {
		fputs("wincue: KWin would not run the script that shows its windows\n", stderr);
		return BusClose(&kwin);
	}
	atexit(UnloadScript);
	KWinAwaitList();
	return true;
}
