// The vxhost subcommands. Each takes the arguments after its name and
// returns the exit code; messages go to stderr, results to stdout.
#ifndef VXH_COMMANDS_H
#define VXH_COMMANDS_H

namespace vxh {

int infoCommand(int argc, char **argv);
int renderMain(int argc, char **argv);
int farmMain(int argc, char **argv);
int stateCommand(int argc, char **argv);
int effectsCommand(int argc, char **argv);
int sampleEffectCommand(int argc, char **argv);
int effectCommand(int argc, char **argv);
int samplesCommand(int argc, char **argv);
int contactCommand(int argc, char **argv);

// Runs a command, turning an escaping filesystem error or memory
// exhaustion into a message and exit code 2.
int guarded(int (*command)(int, char **), int argc, char **argv);

} // namespace vxh

#endif
