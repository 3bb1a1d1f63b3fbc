/*
 * The commands a pass sends to the script, all in one answer to its Next
 * call, and the shields they wait for. A disable's shield goes as a file
 * KWin reads when it carries the command out: the file stays until the
 * script says it has (or at exit, when it never does).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "kwin.h"

static char *orders; /* commands to send: "UUID\tm\t1\n"... */
static size_t ordersLength, ordersSize;
static const char *ordersDo;        /* what they do, as the late line says */
static char (*awaited)[KWinIdSize]; /* windows whose shields have not called */
static int awaitedCount, awaitedSize;
static bool shieldless; /* a shield could not be made this pass */

/* Adds the line "UUID\tverb\targ" to the orders. */
static void Order(const KWinWindow *w, const char *verb, const char *arg)
{
	size_t need = ordersLength + strlen(w->uuid) + strlen(verb) + strlen(arg) + 4;

	if (need > ordersSize) {
		size_t size = need > 2 * ordersSize ? need : 2 * ordersSize;
		char *grown = (char *)realloc(orders, size);
		if (grown == NULL)
			return;
		orders = grown;
		ordersSize = size;
	}
	ordersLength += (size_t)sprintf(orders + ordersLength, "%s\t%s\t%s\n", w->uuid, verb, arg);
}

void KWinOrder(const KWinWindow *w, const char *verb, const char *arg, const char *does)
{
	ordersDo = does;
	Order(w, verb, arg);
}

/* Notes that the shield of the window is to call. */
static bool Await(const char *uuid)
{
	if (awaitedCount == awaitedSize) {
		int size = awaitedSize > 0 ? 2 * awaitedSize : 16;
		char(*grown)[KWinIdSize] =
		    (char(*)[KWinIdSize])realloc(awaited, (size_t)size * sizeof *awaited);
		if (grown == NULL)
			return false;
		awaited = grown;
		awaitedSize = size;
	}
	KeepName(awaited[awaitedCount++], KWinIdSize, uuid);
	return true;
}

void KWinOrderEnabled(const KWinWindow *w, bool enable)
{
	char path[4096];

	ordersDo = "enabled or disabled";
	if (enable)
		Order(w, "e", "");
	else if (KWinWriteShield(KWinCaller(), w->uuid, path, sizeof path) && Await(w->uuid))
		Order(w, "d", path);
}

/* Shield files sent, each with the command that carries it: KWin reads one
 * when it carries the command out, which the script tells; they go then,
 * or at exit when it never does (a stopped KWin may still read them). */
struct KeptFile {
	char *path;
	int number;
};
static KeptFile *kept;
static int keptCount, keptSize;

static void KeepShieldFile(char *path, int number)
{
	if (keptCount == keptSize) {
		int size = keptSize > 0 ? 2 * keptSize : 16;
		void *grown = realloc(kept, (size_t)size * sizeof *kept);
		if (grown == NULL) {
			unlink(path);
			return;
		}
		kept = (KeptFile *)grown;
		keptSize = size;
	}
	kept[keptCount].path = strdup(path);
	kept[keptCount].number = number;
	if (kept[keptCount].path != NULL)
		keptCount++;
	else
		unlink(path);
}

void KWinRemoveShieldFiles(int number)
{
	for (int i = 0; i < keptCount;) {
		if (kept[i].number > number) {
			i++;
			continue;
		}
		unlink(kept[i].path);
		free(kept[i].path);
		kept[i] = kept[--keptCount];
	}
}

/* The shield files of the orders, kept until the command that carries
 * them is done. */
static void KeepShieldFiles(int number)
{
	for (char *line = orders; line != NULL && *line != '\0';) {
		char *end = strchr(line, '\n'), *verb = strchr(line, '\t');
		*end = '\0';
		if (verb != NULL && strncmp(verb, "\td\t", 3) == 0)
			KeepShieldFile(verb + 3, number);
		line = end + 1;
	}
}

const char *KWinOrders(void)
{
	return orders != NULL ? orders : "";
}

void KWinShieldCalled(const char *uuid, bool cannot)
{
	for (int i = 0; i < awaitedCount; i++) {
		if (strcmp(awaited[i], uuid) == 0) {
			memcpy(awaited[i], awaited[--awaitedCount], KWinIdSize);
			break;
		}
	}
	shieldless = shieldless || cannot;
}

bool KWinShieldsCalled(void)
{
	return awaitedCount == 0;
}

void KWinOrdersSent(int number, bool late)
{
	KeepShieldFiles(number);
	ordersLength = 0;
	orders[0] = '\0';
	if (late)
		fprintf(stderr, "wincue: KWin did not answer in time: windows may not be %s\n",
		        ordersDo != NULL ? ordersDo : "hidden or shown");
	if (shieldless)
		fputs("wincue: KWin could not make a window refuse input (its QtQuick window "
		      "module is missing): Enable changed nothing\n",
		      stderr);
	ordersDo = NULL;
	shieldless = false;
	awaitedCount = 0;
}
