-- Loaded into mpv by the first-audio benchmark: one line on standard output
-- as soon as the playback position moves past zero, then mpv quits.
mp.observe_property("time-pos", "number", function(_, position)
    if position and position > 0 then
        io.stdout:write(string.format("first-audio %.3f\n", position))
        io.stdout:flush()
        mp.commandv("quit")
    end
end)
