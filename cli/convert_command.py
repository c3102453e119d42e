"""Not available yet."""


def add_arguments(parser):
    parser.add_argument("args", nargs="*")


def execute(args):
    print("velquin: this command is not available yet")
    return 2
