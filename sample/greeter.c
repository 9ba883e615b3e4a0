/* A small library for the bundled sample: its exports are picked so that a
 * viewer has named exports whose name-ordinal values differ from their
 * position in the sorted name table, plus one export reachable only by
 * ordinal. */
#include <stdio.h>
#include <string.h>

static int greeting_count;

void GreetHello(const char *who)
{
    ++greeting_count;
    printf("Hello, %s!\n", who);
}

void GreetGoodbye(const char *who)
{
    ++greeting_count;
    printf("Goodbye, %s.\n", who);
}

/* Exported without a name: callers have to bind to it by ordinal. */
int GreetSecret(void)
{
    return 42;
}

int GreetCount(void)
{
    return greeting_count;
}

void GreetShout(const char *who)
{
    char loud[64];
    size_t i;

    for (i = 0; who[i] != '\0' && i < sizeof loud - 1; ++i)
        loud[i] = (char)(who[i] >= 'a' && who[i] <= 'z' ? who[i] - 'a' + 'A' : who[i]);
    loud[i] = '\0';
    ++greeting_count;
    printf("HELLO, %s!\n", loud);
}

const char *GreetVersion(void)
{
    return "2.1.0.7";
}
