import sys

from .smoke import main

sys.exit(main(sys.argv[1:]))
