message("todo")
