// commands.h - the subcommands of the pmr command. Each takes the arguments
// that follow its name and returns the process exit status.
#ifndef PMR_CLI_COMMANDS_H
#define PMR_CLI_COMMANDS_H

namespace pmrcli {

int run_compile(int argc, char** argv);
int run_info(int argc, char** argv);
int run_lookup(int argc, char** argv);
int run_expand(int argc, char** argv);

}  // namespace pmrcli

#endif
