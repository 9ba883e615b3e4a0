/* The bundled sample program. It binds to greeter.dll both by name and, for
 * the export that has no name, by ordinal, so one file shows both kinds of
 * import next to the C runtime and KERNEL32 imports mingw adds. */
#include <stdio.h>

void GreetHello(const char *who);
void GreetGoodbye(const char *who);
int GreetSecret(void);
int GreetCount(void);
const char *GreetVersion(void);

int main(int argc, char **argv)
{
    const char *who = argc > 1 ? argv[1] : "world";

    GreetHello(who);
    printf("greeter %s, secret %d\n", GreetVersion(), GreetSecret());
    GreetGoodbye(who);
    printf("%d greetings\n", GreetCount());
    return 0;
}
