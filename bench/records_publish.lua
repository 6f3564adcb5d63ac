-- wrk script for bench/records_server_load.sh: each request publishes a
-- score under a name no other request uses (thread number, then a counter).
local threads = 0

function setup(thread)
    thread:set("id", threads)
    threads = threads + 1
end

function init(args)
    n = 0
end

function request()
    n = n + 1
    return wrk.format("GET", string.format("/datas/html/add.php?name=w%dn%d&self=%d&autopilot=-", id, n, n))
end
