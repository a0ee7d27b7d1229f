# The Pontex program (windows). Filled by the main-window work.
